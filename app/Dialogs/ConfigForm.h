#pragma once
// The configuration dialog: the default source folder, preview quality and play speed, and
// the defaults of the package names. It is the settings' only keeper while the program
// runs: other windows read them from its controls. It loads them from [Viewer] and
// [Saving] of the INI file and writes them back when OK passes its checks; the main window
// runs that check once, hidden, at every start, so both sections are always written.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <functional>

#include "app/Dialogs/NameFields.h"

class QGroupBox;

class TIniFile;

class TConfigForm : public QDialog {
    Q_OBJECT
  public:
    explicit TConfigForm(QWidget* owner = nullptr);

    QGroupBox* FilesGB = nullptr;
    QPushButton* SrcDirButton = nullptr;
    QLineEdit* SrcDirEdit = nullptr;
    QToolButton* DefFolderButton = nullptr;
    QSlider* OptiTrackBar = nullptr;
    QLabel* OptiLabel = nullptr;
    QSlider* SpeedTrackBar = nullptr;
    QLineEdit* FpsEdit = nullptr;
    QGroupBox* SavingGB = nullptr;
    QPushButton* DestDirButton = nullptr;
    QLineEdit* DestDirEdit = nullptr;
    QLineEdit* PrefixEdit = nullptr;
    QLineEdit* SufixEdit = nullptr;
    QSlider* DigitsTB = nullptr;
    QLineEdit* DigitsEdit = nullptr;
    QLineEdit* FromEdit = nullptr;
    QLineEdit* SampleEdit = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // The folder the main window's tree stands on; set by the main window.
    std::function<QString()> CurrentFolder;

    void OkButtonClick();
    void OptiTrackBarChange();
    void SpeedTrackBarChange();
    void DigitsTBChange();
    void SampleChange();
    void SrcDirButtonClick();
    void DestDirButtonClick();
    void DefFolderButtonClick();

    // Any way out but OK (Cancel, Esc, the close button) puts the stored values back:
    // other windows read the settings from these controls.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildViewerGroup();
    void BuildSavingGroup();
    void BuildButtons();
    void ConnectHandlers();
    void FormShow();
    TNameFields NameEntries() const;
    // A failed check: beep, the message, and the control focused when the dialog is up.
    void Refuse(const QString& message, QWidget* control);
    QString StoredSettingText(const QWidget* control) const;
};

void LoadConfig(TConfigForm* form);
void SaveSourceFolder(TConfigForm* form);

// Tells the user, once per settings file and run, that the file could not be read when
// ini was made (saving false) or that UpdateFile failed (saving true), naming the file
// and the cause. The file is left as it is; the program goes on with what it has.
void ReportSettingsFileProblem(const TIniFile& ini, bool saving);
