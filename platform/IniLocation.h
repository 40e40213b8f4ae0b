#pragma once
// Where the settings file lives and which folders are the defaults. The INI file is the
// program's path with ".ini" (orvane-viewer.ini) beside the program when the program's
// folder is writable; then the program's folder is also the default source and
// destination folder. Otherwise (an installed program under /usr) the file is
// $XDG_CONFIG_HOME/orvane-viewer/orvane-viewer.ini ($XDG_CONFIG_HOME defaulting to
// ~/.config) and the default folders are the user's Pictures folder, or home without one.
//
// The environment variable ORVANE_VIEWER_INI names another file outright (scripts that
// start the program use it to keep their settings apart); tests set a path with
// ScopedIniFilePath. Folders are returned with a trailing '/'.

#include <QString>

namespace platform {

struct IniLocation {
    QString iniPath;
    QString defaultFolder;  // with a trailing '/'
};

// The rule itself, free of the system: programPath is the executable's absolute path,
// picturesFolder is empty when the user has none.
IniLocation ResolveIniLocation(const QString& programPath, bool programFolderWritable,
                               const QString& configHome, const QString& homeFolder,
                               const QString& picturesFolder);

QString ProgramPath();    // the running executable (/proc/self/exe)
QString ProgramFolder();  // its folder, with a trailing '/'

QString IniFilePath();
QString DefaultSourceFolder();
QString DefaultDestinationFolder();

// Points IniFilePath at path for the scope's lifetime (nesting allowed). Thread-safe.
class ScopedIniFilePath {
  public:
    explicit ScopedIniFilePath(const QString& path);
    ~ScopedIniFilePath();
    ScopedIniFilePath(const ScopedIniFilePath&) = delete;
    ScopedIniFilePath& operator=(const ScopedIniFilePath&) = delete;

  private:
    QString previous_;
};

}  // namespace platform
