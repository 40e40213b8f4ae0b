#pragma once
// The dialog in which the user confirms where and under which names the series is saved:
// destination folder, an additional sub-path, prefix, counter width, suffix, first number
// and the picture to begin from. It shows a sample name as the user types, checks every
// entry when OK is pressed and creates the target folders before it closes with modal
// result 1; it copies nothing itself. Made once at start-up and reused.
//
// OK runs every check that needs no disk first, so that a refused entry never leaves a
// folder behind; only then are the folders made. UI thread only.

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "app/Dialogs/NameFields.h"
#include "app/Saving/SavePackage.h"

class TConfigForm;

class TSavingForm : public QDialog {
    Q_OBJECT
  public:
    explicit TSavingForm(QWidget* owner = nullptr);

    QLabel* CaptLabel = nullptr;
    QPushButton* DestDirButton = nullptr;
    QLineEdit* DestDirEdit = nullptr;
    QLineEdit* AddPath = nullptr;
    QLineEdit* PrefixEdit = nullptr;
    QSlider* DigitsTB = nullptr;
    QLineEdit* DigitsEdit = nullptr;
    QLineEdit* FromEdit = nullptr;
    QLineEdit* SufixEdit = nullptr;
    QLineEdit* SampleEdit = nullptr;
    QLineEdit* BeginEdit = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // Set by the save command before the dialog is shown: the series' picture count
    // bounds "Begin from:" and the counter width, and its longest extension is part of
    // the longest name checked against the path limits.
    int PictureCount = 0;
    QString LongestExtension = QStringLiteral(".jpg");
    // The pictures' extensions in series order: the sample name shows the one the first
    // picture of the package (the "Begin from:" picture) will get.
    QStringList PictureExtensions;
    // The folder of the program's temporary copies, emptied when it closes: no package
    // goes inside it. Empty: no such folder.
    QString TemporaryFolder;

    // Where the configured defaults come from (the program's configuration dialog); set
    // once both exist. Without one, showing keeps the entries as they are.
    TConfigForm* Config = nullptr;

    void FormShow();
    void DestDirButtonClick();
    void DigitsTBChange();
    void SampleChange();
    // Whether "Begin from:" holds an acceptable value; refuses it with a message when not.
    bool BeginEditExit();
    void OkButtonClick();

    // The entries as they stand.
    TSaveEntries Entries() const;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Refusal;

    void BuildFolderRows(QFrame* panel);
    void BuildNameRows(QFrame* panel);
    void BuildButtons();
    void ConnectHandlers();
    TNameFields NameEntries() const;
    QString FirstExtension() const;
    void Refuse(const Refusal& refusal);
    QString ShownTargetFolder() const;
    bool CheckEntries();
    bool PrepareFolders();
    // Whether the package would go at or below TemporaryFolder.
    bool LiesInTemporaryFolder(const QString& destination) const;

    bool checkingBegin_ = false;
};
