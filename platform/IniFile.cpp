#include "platform/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/PosixFile.h"
#include "platform/ReplacementFile.h"

namespace {

using platform::IniDocument;

// Settings files are small; a huge file is not ours to rewrite.
constexpr size_t kMaxIniBytes = size_t{4} << 20;
// As many links as the kernel follows in one path lookup (a loop ends here too).
constexpr int kMaxLinkHops = 40;

// The file the path names in the end, so that writing through a symbolic link replaces
// the linked file rather than the link. A link whose file does not exist yet (a dangling
// link) is followed too: the file is made where it points and the user's link stays.
std::string ResolvedPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (resolved) {
        return std::string(resolved.get());
    }
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof target) {
            return current;  // not a link (or one we cannot read): the file itself
        }
        std::string next(target, static_cast<size_t>(length));
        if (next.front() != '/') {
            const size_t slash = current.rfind('/');
            next =
                (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + next;
        }
        current = std::move(next);
    }
    return current;
}

// Like mkdir -p for the folders above path. New folders get mode 0700: a settings
// folder of its own is private to its user.
void CreateParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

// Keeps the permission bits of the file being replaced; a new file gets 0666 less umask.
mode_t ModeFor(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0666;
}

bool ParseInteger(const std::string& text, int& value) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.substr(0, 2) == "0x" || digits.substr(0, 2) == "0X") {
        base = 16;
        digits.remove_prefix(2);
    } else if (digits.substr(0, 1) == "$") {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.front() == '-' || digits.front() == '+') {
        return false;
    }
    long long magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return false;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue < INT_MIN || signedValue > INT_MAX) {
        return false;
    }
    value = static_cast<int>(signedValue);
    return true;
}

platform::FileContents ReadIni(const std::string& path) {
    return platform::ReadWholeFile(path, kMaxIniBytes);
}

}  // namespace

TIniFile::TIniFile(const QString& fileName)
    : fileName_(fileName), nativePath_(QFile::encodeName(fileName).toStdString()) {
    const platform::FileContents contents = ReadIni(nativePath_);
    if (contents.error == 0) {
        document_ = IniDocument::Parse(contents.bytes);
    } else if (contents.error != ENOENT) {
        readError_ = contents.error;
    }
}

TIniFile::~TIniFile() {
    UpdateFile();
}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    return document_.Value(section, key).value_or(defaultValue);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const auto text = document_.Value(section, key);
    int value = 0;
    return text && ParseInteger(text->toStdString(), value) ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    const auto text = document_.Value(section, key);
    if (!text) {
        return defaultValue;
    }
    if (text->compare(u"true", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (text->compare(u"false", Qt::CaseInsensitive) == 0) {
        return false;
    }
    int value = 0;
    return ParseInteger(text->toStdString(), value) ? value != 0 : defaultValue;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (!IniDocument::CanStore(section, key, value)) {
        return false;
    }
    Record({Change::Kind::Set, section, key, value});
    return true;
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::SectionExists(const QString& section) const {
    return document_.HasSection(section);
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    return document_.Value(section, key).has_value();
}

QStringList TIniFile::ReadSection(const QString& section) const {
    return document_.Keys(section);
}

QStringList TIniFile::ReadSections() const {
    return document_.Sections();
}

void TIniFile::EraseSection(const QString& section) {
    Record({Change::Kind::RemoveSection, section, {}, {}});
}

void TIniFile::DeleteKey(const QString& section, const QString& key) {
    Record({Change::Kind::RemoveKey, section, key, {}});
}

void TIniFile::Apply(IniDocument& document, const Change& change) {
    switch (change.kind) {
        case Change::Kind::Set:
            document.SetValue(change.section, change.key, change.value);
            break;
        case Change::Kind::RemoveKey:
            document.RemoveKey(change.section, change.key);
            break;
        case Change::Kind::RemoveSection:
            document.RemoveSection(change.section);
            break;
    }
}

void TIniFile::Record(Change change) {
    Apply(document_, change);
    pending_.push_back(std::move(change));
}

bool TIniFile::UpdateFile() {
    if (pending_.empty()) {
        return true;
    }
    const std::string target = ResolvedPath(nativePath_);
    const platform::FileContents contents = ReadIni(target);
    if (contents.error != 0 && contents.error != ENOENT) {
        lastError_ = contents.error;  // never replace a file we could not read
        return false;
    }
    IniDocument merged = IniDocument::Parse(contents.bytes);
    for (const Change& change : pending_) {
        Apply(merged, change);
    }
    const std::string text = merged.Serialize();
    int error = platform::ReplaceFileContents(target, text, ModeFor(target));
    if (error == ENOENT) {
        CreateParentFolders(target);
        error = platform::ReplaceFileContents(target, text, ModeFor(target));
    }
    lastError_ = error;
    if (error != 0) {
        return false;
    }
    document_ = std::move(merged);
    pending_.clear();
    return true;
}
