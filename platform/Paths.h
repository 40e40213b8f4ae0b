#pragma once
// Path text helpers. Paths use '/'; file names are compared exactly (Linux names are
// case-sensitive), and only extension tests ignore letter case. Every function is pure
// text work: nothing here touches the file system. The std::string and QString forms
// behave alike.

#include <QString>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

// folder + "/" + name, with exactly one '/' between them; an empty folder gives name.
std::string JoinPath(std::string_view folder, std::string_view name);
QString JoinPath(const QString& folder, const QString& name);

// Everything up to and including the last '/' ("/a/b.jpg" -> "/a/"); "" without a '/'.
std::string FolderPart(std::string_view path);
QString FolderPart(const QString& path);

// Everything after the last '/'.
std::string FileNamePart(std::string_view path);
QString FileNamePart(const QString& path);

// From the last '.' of the file name on, the dot included (".jpg"); "" when the file name
// has no dot. A dot in a folder name ("/a.b/c") is not an extension.
std::string ExtensionPart(std::string_view path);
QString ExtensionPart(const QString& path);

// path with its extension replaced by extension (which carries its dot), or appended.
std::string ChangeExtension(std::string_view path, std::string_view extension);
QString ChangeExtension(const QString& path, const QString& extension);

// Adds a '/' when missing; "" stays "" (never turns into the root folder).
std::string WithTrailingSlash(std::string_view path);
QString WithTrailingSlash(const QString& path);

// Drops trailing '/'s, but the root folder "/" stays "/".
std::string WithoutTrailingSlash(std::string_view path);
QString WithoutTrailingSlash(const QString& path);

// Whether the extension equals one of extensions (each with its dot), ignoring letter
// case (ASCII letters in the std::string form).
bool HasExtension(std::string_view path, std::initializer_list<std::string_view> extensions);
bool HasExtension(const QString& path, std::initializer_list<QStringView> extensions);

// A bare string literal would fit both forms above; it means the std::string form.
inline std::string JoinPath(const char* folder, const char* name) {
    return JoinPath(std::string_view(folder), std::string_view(name));
}
inline std::string FolderPart(const char* path) {
    return FolderPart(std::string_view(path));
}
inline std::string FileNamePart(const char* path) {
    return FileNamePart(std::string_view(path));
}
inline std::string ExtensionPart(const char* path) {
    return ExtensionPart(std::string_view(path));
}
inline std::string ChangeExtension(const char* path, const char* extension) {
    return ChangeExtension(std::string_view(path), std::string_view(extension));
}
inline std::string WithTrailingSlash(const char* path) {
    return WithTrailingSlash(std::string_view(path));
}
inline std::string WithoutTrailingSlash(const char* path) {
    return WithoutTrailingSlash(std::string_view(path));
}

}  // namespace platform
