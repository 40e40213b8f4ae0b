#pragma once
// The shell verbs a folder tree offers for an item, and the launcher that runs them. On this
// system the verbs are ours: open an item with the desktop's default application (a folder
// in the file manager), open the folder that holds a file, and copy an item's location.
// Launching goes through an interface, so tests see what would be started instead of
// starting it. UI thread only.

#include <QString>
#include <vector>

namespace platform {

enum class ShellVerbId { Open, OpenContainingFolder, CopyLocation };

struct ShellVerb {
    ShellVerbId id;
    QString text;  // the menu entry
    QString help;  // its status tip
};

// The verbs for an item, the default (Open) first; a folder has no containing-folder verb.
std::vector<ShellVerb> ShellVerbsFor(bool isFolder);

class ShellLauncher {
  public:
    virtual ~ShellLauncher() = default;
    // Whether the desktop accepted the request (not whether the application then opened).
    virtual bool OpenWithDefaultApplication(const QString& path) = 0;
    virtual void CopyToClipboard(const QString& text) = 0;
    // The plain "open" of the desktop (xdg-open), tried when a verb could not be started.
    virtual bool OpenFallback(const QString& path) = 0;
};

// Runs a verb on path; false when it could not be started.
bool RunShellVerb(ShellVerbId verb, const QString& path, ShellLauncher& launcher);

// The desktop's launcher, or the one a ScopedShellLauncher has put in its place.
ShellLauncher& CurrentShellLauncher();

class ScopedShellLauncher {
  public:
    explicit ScopedShellLauncher(ShellLauncher& launcher);
    ~ScopedShellLauncher();
    ScopedShellLauncher(const ScopedShellLauncher&) = delete;
    ScopedShellLauncher& operator=(const ScopedShellLauncher&) = delete;

  private:
    ShellLauncher* previous_;
};

}  // namespace platform
