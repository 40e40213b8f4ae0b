#pragma once
// The folder chooser: a modal dialog holding a folder tree. SelectFolderDialog returns the
// chosen folder, or, when cancelled, the initial folder as it was given (without a
// trailing '/', the root folder "/" excepted). With file masks ("*.jpg;*.jpeg") OK is
// enabled only on folders that hold at least one matching file.

#include <QDialog>
#include <QPushButton>
#include <QStringList>

#include "Components/PkgFolder/FolderTree.h"

class TOKBottomDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TOKBottomDlg(QWidget* owner = nullptr);

    TFolderTree* DirTree = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    void SetMasks(const QString& masks) { masks_ = masks; }
    void SetInitialFolder(const QString& folder) { initialFolder_ = folder; }
    const QString& InitialFolder() const { return initialFolder_; }

    void DirTreeChange();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();

    QString masks_;
    QString initialFolder_;
    QStringList maskList_;
    bool matched_ = false;
};

// Whether folder holds a file that one of the ';'-separated patterns matches.
bool FolderHasMatchingFile(const QString& folder, const QString& masks);

QString SelectFolderDialog(const QString& initialFolder, const QString& caption,
                           const QString& masks, bool sysFolders);
