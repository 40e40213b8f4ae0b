#pragma once
// The configuration dialog: the default source folder, preview quality and play speed, and
// the defaults of the package names. It is the settings' only keeper while the program
// runs: other windows read them from its controls. It loads them from [Viewer] and
// [Saving] of the INI file and writes them back when OK passes its checks; the main window
// runs that check once, hidden, at every start, so both sections are always written.
// Settings accepted while the file cannot be written are kept for the running program, so
// later openings and the saving dialog still see them.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <functional>
#include <optional>

#include "app/Dialogs/NameFields.h"

class QGroupBox;

class TIniFile;

// The eight settings as the controls show them.
struct TConfigValues {
    QString source;
    int optimization = 0;
    int playSpeed = 0;
    QString destination;
    QString prefix;
    QString sufix;
    int digits = 0;
    QString from;
};

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

    // The settings every opening shows: those accepted with OK that the file could not
    // take, else the file's.
    TConfigValues StoredValues() const;
    void ShowValues(const TConfigValues& values);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TConfigValues ControlValues() const;
    friend void SaveSourceFolder(TConfigForm* form);

    void BuildViewerGroup();
    void BuildSavingGroup();
    void BuildButtons();
    void ConnectHandlers();
    void FormShow();
    TNameFields NameEntries() const;
    // A failed check: beep, the message, and the control focused when the dialog is up.
    void Refuse(const QString& message, QWidget* control);
    QString StoredSettingText(const QWidget* control) const;

    std::optional<TConfigValues> unsaved_;
};

// Shows the stored settings (TConfigForm::StoredValues) in the controls.
void LoadConfig(TConfigForm* form);
void SaveSourceFolder(TConfigForm* form);

// Tells the user, once per settings file and run, that the file could not be read when
// ini was made (saving false) or that UpdateFile failed (saving true), naming the file
// and the cause. The file is left as it is; the program goes on with what it has.
void ReportSettingsFileProblem(const TIniFile& ini, bool saving);
