#include "platform/Paths.h"

#include <algorithm>

namespace platform {

namespace {

// Index just past the last '/', 0 when there is none.
size_t NameStart(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

qsizetype NameStart(const QString& path) {
    return path.lastIndexOf(u'/') + 1;
}

// Index of the extension's dot, or the length of path when there is none.
size_t ExtensionStart(std::string_view path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < NameStart(path)) {
        return path.size();
    }
    return dot;
}

qsizetype ExtensionStart(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 || dot < NameStart(path) ? path.size() : dot;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    while (!name.empty() && name.front() == '/' && !folder.empty()) {
        name.remove_prefix(1);
    }
    if (folder.empty()) {
        return std::string(name);
    }
    std::string joined(folder);
    if (joined.back() != '/') {
        joined += '/';
    }
    joined += name;
    return joined;
}

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) {
        return name;
    }
    qsizetype skip = 0;
    while (skip < name.size() && name[skip] == u'/') {
        ++skip;
    }
    return WithTrailingSlash(folder) + name.mid(skip);
}

std::string FolderPart(std::string_view path) {
    return std::string(path.substr(0, NameStart(path)));
}

QString FolderPart(const QString& path) {
    return path.left(NameStart(path));
}

std::string FileNamePart(std::string_view path) {
    return std::string(path.substr(NameStart(path)));
}

QString FileNamePart(const QString& path) {
    return path.mid(NameStart(path));
}

std::string ExtensionPart(std::string_view path) {
    return std::string(path.substr(ExtensionStart(path)));
}

QString ExtensionPart(const QString& path) {
    return path.mid(ExtensionStart(path));
}

std::string ChangeExtension(std::string_view path, std::string_view extension) {
    std::string changed(path.substr(0, ExtensionStart(path)));
    changed += extension;
    return changed;
}

QString ChangeExtension(const QString& path, const QString& extension) {
    return path.left(ExtensionStart(path)) + extension;
}

std::string WithTrailingSlash(std::string_view path) {
    std::string result(path);
    if (!result.empty() && result.back() != '/') {
        result += '/';
    }
    return result;
}

QString WithTrailingSlash(const QString& path) {
    return path.isEmpty() || path.endsWith(u'/') ? path : path + u'/';
}

std::string WithoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

QString WithoutTrailingSlash(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/') {
        --end;
    }
    return path.left(end);
}

bool HasExtension(std::string_view path, std::initializer_list<std::string_view> extensions) {
    const std::string_view own = path.substr(ExtensionStart(path));
    return !own.empty() && std::any_of(extensions.begin(), extensions.end(), [&](auto candidate) {
        return EqualsIgnoringAsciiCase(own, candidate);
    });
}

bool HasExtension(const QString& path, std::initializer_list<QStringView> extensions) {
    const QStringView own = QStringView(path).mid(ExtensionStart(path));
    return !own.isEmpty() && std::any_of(extensions.begin(), extensions.end(), [&](auto candidate) {
        return own.compare(candidate, Qt::CaseInsensitive) == 0;
    });
}

}  // namespace platform
