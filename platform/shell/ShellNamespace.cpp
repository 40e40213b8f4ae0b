#include "platform/shell/ShellNamespace.h"

#include "platform/shell/DirectoryReader.h"
#include "platform/shell/NameOrder.h"
#include "platform/shell/ShellFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {
namespace {

std::string JoinPath(const std::string& base, const std::string& name) {
    if (base == "/")
        return "/" + name;
    return base + "/" + name;
}

std::string HomeFromEnvironment() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return pw->pw_dir;
    return "/";
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string NormalizePath(std::string_view path) {
    if (path.empty() || path.front() != '/')
        return {};
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string normal;
    for (const std::string_view part : parts) {
        normal += '/';
        normal += part;
    }
    return normal.empty() ? "/" : normal;
}

bool PathIsWithin(std::string_view path, std::string_view root) {
    if (root == "/")
        return !path.empty() && path.front() == '/';
    return path.size() >= root.size() && path.substr(0, root.size()) == root &&
           (path.size() == root.size() || path[root.size()] == '/');
}

bool IsValidItemName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

ShellNamespace::ShellNamespace(const VolumeTable& volumes, std::string home, DirectoryAccess access)
    : volumes_(volumes), home_(NormalizePath(home)), access_(std::move(access)) {
    if (home_.empty())
        home_.assign(1, '/');
}

std::shared_ptr<const ShellNamespace> ShellNamespace::Create(const VolumeTable& volumes,
                                                             std::string home,
                                                             DirectoryAccess access) {
    return std::shared_ptr<const ShellNamespace>(
        new ShellNamespace(volumes, std::move(home), std::move(access)));
}

std::unique_ptr<DirectoryReader> ShellNamespace::OpenDirectory(const std::string& path) const {
    if (access_.beforeRead)
        access_.beforeRead(path);
    return std::make_unique<DirectoryReader>(path);
}

std::shared_ptr<const ShellNamespace> ShellNamespace::System() {
    static const std::shared_ptr<const ShellNamespace> system =
        Create(VolumeTable::System(), HomeFromEnvironment());
    return system;
}

ShellLocation ShellNamespace::ChildLocation(const ShellLocation& parent,
                                            const std::string& name) const {
    using Kind = ShellLocation::Kind;
    switch (parent.kind) {
        case Kind::Desktop:
            if (name == kHomeKey)
                return {Kind::Home, home_};
            if (name == kComputerKey)
                return {Kind::Computer, {}};
            return {};
        case Kind::Computer:
            // A drive is named by its mount point, which no plain name can be.
            if (!name.empty() && NormalizePath(name) == name)
                return {Kind::Drive, name};
            return {};
        case Kind::Home:
        case Kind::Drive:
        case Kind::FileSystem:
            if (IsValidItemName(name))
                return {Kind::FileSystem, JoinPath(parent.path, name)};
            return {};
        case Kind::Invalid:
            break;
    }
    return {};
}

ShellLocation ShellNamespace::Locate(const ItemIdList& absolute) const {
    if (absolute.IsNull())
        return {};
    ShellLocation location{ShellLocation::Kind::Desktop, {}};
    for (const std::string& item : absolute.Items()) {
        location = ChildLocation(location, item);
        if (location.kind == ShellLocation::Kind::Invalid)
            break;
    }
    return location;
}

ItemIdList ShellNamespace::ParseDisplayName(std::string_view path) const {
    const std::string normal = NormalizePath(path);
    if (normal.empty() || !Exists(normal))
        return ItemIdList::Null();
    // The longest root wins; on a tie the drive is taken.
    std::vector<std::string> items;
    std::string root;
    if (PathIsWithin(normal, home_)) {
        items = {kHomeKey};
        root = home_;
    }
    for (const Volume& drive : volumes_.Drives()) {
        if (drive.mountPoint.size() >= root.size() && PathIsWithin(normal, drive.mountPoint)) {
            items = {kComputerKey, drive.mountPoint};
            root = drive.mountPoint;
        }
    }
    if (items.empty())
        return ItemIdList::Null();
    std::size_t pos = root == "/" ? 1 : root.size() + 1;
    while (pos < normal.size()) {
        std::size_t end = normal.find('/', pos);
        if (end == std::string::npos)
            end = normal.size();
        items.emplace_back(normal.substr(pos, end - pos));
        pos = end + 1;
    }
    return ItemIdList(std::move(items));
}

std::string ShellNamespace::PathOf(const ItemIdList& absolute) const {
    const ShellLocation location = Locate(absolute);
    return location.IsFileSystem() ? location.path : std::string();
}

std::shared_ptr<const ShellFolder> ShellNamespace::Desktop() const {
    return std::make_shared<const ShellFolder>(shared_from_this(), ItemIdList::Empty(),
                                               ShellLocation{ShellLocation::Kind::Desktop, {}});
}

std::shared_ptr<const ShellFolder> ShellNamespace::BindToFolder(const ItemIdList& absolute) const {
    ShellLocation location = Locate(absolute);
    if (location.kind == ShellLocation::Kind::Invalid)
        return nullptr;
    return std::make_shared<const ShellFolder>(shared_from_this(), absolute, std::move(location));
}

int ShellNamespace::CompareIDs(const ItemIdList& a, const ItemIdList& b) const {
    return Desktop()->CompareIDs(a, b);
}

}  // namespace platform
