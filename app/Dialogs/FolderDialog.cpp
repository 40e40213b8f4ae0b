#include "app/Dialogs/FolderDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "app/Dialogs/DialogControls.h"
#include "platform/Paths.h"

TOKBottomDlg::TOKBottomDlg(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("OKBottomDlg"));
    setWindowTitle(QStringLiteral("Select directory"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(318, 306);
    DirTree = new TFolderTree(this);
    DirTree->setObjectName(QStringLiteral("DirTree"));
    DirTree->setGeometry(7, 4, 305, 265);
    DirTree->SetHideFolders(false);
    DirTree->SetSysFolders(false);
    DirTree->SetFiles(false);
    DirTree->SetRootStyle(false);
    connect(DirTree, &TFolderTree::OnChange, this, [this] { DirTreeChange(); });
    const TDialogButtons buttons = AddOkCancelButtons(this, QStringLiteral("OKBtn"),
                                                      QStringLiteral("CancelBtn"), 79, 164, 276);
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(1); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(2); });
}

void TOKBottomDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TOKBottomDlg::FormShow() {
    const QString folder = platform::WithTrailingSlash(initialFolder_);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        DirTree->SelectFolder(folder);
    } else {
        DirTree->SelectFolder(QString());
    }
}

void TOKBottomDlg::DirTreeChange() {
    const QString folder = DirTree->GetFolder();
    OKBtn->setEnabled(!folder.isEmpty());
    if (masks_.isEmpty()) {
        return;
    }
    matched_ = FolderHasMatchingFile(folder, masks_);
    OKBtn->setEnabled(matched_);
}

bool FolderHasMatchingFile(const QString& folder, const QString& masks) {
    if (folder.isEmpty()) {
        return false;
    }
    const QStringList patterns = masks.split(u';', Qt::SkipEmptyParts);
    for (const QString& pattern : patterns) {
        const QStringList found =
            QDir(folder).entryList(QStringList{pattern.trimmed()}, QDir::Files | QDir::Hidden);
        if (!found.isEmpty()) {
            return true;
        }
    }
    return false;
}

QString SelectFolderDialog(const QString& initialFolder, const QString& caption,
                           const QString& masks, bool sysFolders) {
    TOKBottomDlg dialog(QApplication::activeWindow());
    dialog.SetMasks(masks);
    dialog.SetInitialFolder(initialFolder);
    if (!masks.isEmpty()) {
        dialog.OKBtn->setEnabled(false);
    }
    dialog.DirTree->SetSysFolders(sysFolders);
    dialog.setWindowTitle(caption.isEmpty() ? QStringLiteral("Select directory") : caption);
    if (dialog.exec() == 1) {
        return dialog.DirTree->GetFolder();
    }
    return platform::WithoutTrailingSlash(initialFolder);
}
