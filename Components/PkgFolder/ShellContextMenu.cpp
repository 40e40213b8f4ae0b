#include "Components/PkgFolder/ShellContextMenu.h"

#include <QAction>
#include <QMenu>

bool CShellContextMenu::SetMenu(const QString& path, bool isFolder) {
    path_ = path;
    verbs_.clear();
    firstId_ = lastId_ = 0;
    if (!path.isEmpty()) {
        verbs_ = platform::ShellVerbsFor(isFolder);
    }
    return !verbs_.empty();
}

bool CShellContextMenu::QueryContextMenu(QMenu& menu, unsigned firstId, unsigned lastId) {
    firstId_ = lastId_ = 0;
    if (verbs_.empty() || lastId < firstId) {
        return false;
    }
    const unsigned count =
        std::min<unsigned>(static_cast<unsigned>(verbs_.size()), lastId - firstId + 1);
    for (unsigned i = 0; i < count; ++i) {
        QAction* action = menu.addAction(verbs_[i].text);
        action->setData(firstId + i);
        action->setStatusTip(verbs_[i].help);
        if (i == 0) {
            menu.setDefaultAction(action);
        }
    }
    firstId_ = firstId;
    lastId_ = firstId + count - 1;
    return true;
}

const platform::ShellVerb* CShellContextMenu::VerbOf(unsigned id) const {
    if (verbs_.empty() || firstId_ == 0 || id < firstId_ || id > lastId_) {
        return nullptr;
    }
    return &verbs_[id - firstId_];
}

bool CShellContextMenu::InvokeCommand(unsigned id) {
    const platform::ShellVerb* verb = VerbOf(id);
    return verb && platform::RunShellVerb(verb->id, path_, platform::CurrentShellLauncher());
}

QString CShellContextMenu::GetCommandHelp(unsigned id) const {
    const platform::ShellVerb* verb = VerbOf(id);
    return verb ? verb->help : QString();
}
