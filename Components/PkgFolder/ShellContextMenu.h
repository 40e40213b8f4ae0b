#pragma once
// The shell's part of the tree's context menu for one item: its verbs as menu entries with
// command ids in a given range, their help texts, and running a chosen one through the
// platform's launcher. UI thread only.

#include <QString>
#include <vector>

#include "platform/ShellLauncher.h"

class QMenu;

class CShellContextMenu {
  public:
    virtual ~CShellContextMenu() = default;

    // The item's path and kind; false (and no verbs) for an item without a path.
    bool SetMenu(const QString& path, bool isFolder);
    // Adds the verbs to menu with ids from firstId on (at most up to lastId), the first one
    // the default entry. False when there are no verbs.
    bool QueryContextMenu(QMenu& menu, unsigned firstId, unsigned lastId);
    // Runs the verb of a command id added by QueryContextMenu; false for another id or when
    // the verb could not be started.
    bool InvokeCommand(unsigned id);
    QString GetCommandHelp(unsigned id) const;

    const QString& Path() const { return path_; }

  private:
    const platform::ShellVerb* VerbOf(unsigned id) const;

    QString path_;
    std::vector<platform::ShellVerb> verbs_;
    unsigned firstId_ = 0;
    unsigned lastId_ = 0;
};
