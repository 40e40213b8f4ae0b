#include "app/Dialogs/ConfigForm.h"

#include <QGroupBox>
#include <cstring>
#include <set>

#include "app/ArtResources.h"
#include "app/Dialogs/DialogControls.h"
#include "app/Dialogs/FolderDialog.h"
#include "app/Series/NameRules.h"
#include "app/SlideShow/SlideShowRules.h"
#include "platform/IniFile.h"
#include "platform/IniLocation.h"
#include "platform/Memory.h"
#include "platform/MessageService.h"
#include "platform/Paths.h"

namespace {

const QString kViewer = QStringLiteral("Viewer");
const QString kSaving = QStringLiteral("Saving");
}  // namespace

TConfigForm::TConfigForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("ConfigForm"));
    setWindowTitle(QStringLiteral("Configuration..."));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(400, 344);
    BuildViewerGroup();
    BuildSavingGroup();
    BuildButtons();
    SpeedTrackBar->setRange(50, 1000);
    SpeedTrackBar->setTickInterval(48);
    SpeedTrackBar->setSingleStep(48);
    SpeedTrackBar->setPageStep(144);
    ConnectHandlers();
}

void TConfigForm::BuildViewerGroup() {
    FilesGB = new QGroupBox(QStringLiteral(" Viewer settings "), this);
    FilesGB->setGeometry(8, 6, 384, 150);
    SrcDirButton = AddPushButton(FilesGB, QStringLiteral("SrcDirButton"),
                                 QStringLiteral("Source folder:"), QRect(10, 22, 104, 25));
    SrcDirEdit = AddShownEdit(FilesGB, QStringLiteral("SrcDirEdit"), QRect(118, 23, 226, 23));
    DefFolderButton = new QToolButton(FilesGB);
    DefFolderButton->setObjectName(QStringLiteral("DefFolderButton"));
    DefFolderButton->setIcon(ButtonIcon(QStringLiteral("deffolder")));
    DefFolderButton->setToolTip(QStringLiteral("Save current folder as default source folder"));
    DefFolderButton->setGeometry(348, 22, 25, 25);
    AddLabel(FilesGB, QStringLiteral("Default preview quality:"), 10, 62);
    OptiTrackBar =
        AddTrackBar(FilesGB, QStringLiteral("OptiTrackBar"), QRect(170, 56, 100, 28), 0, 3);
    OptiLabel = new QLabel(FilesGB);
    OptiLabel->setObjectName(QStringLiteral("OptiLabel"));
    OptiLabel->setGeometry(10, 88, 364, 18);
    AddLabel(FilesGB, QStringLiteral("Default play speed:"), 10, 118);
    SpeedTrackBar =
        AddTrackBar(FilesGB, QStringLiteral("SpeedTrackBar"), QRect(170, 112, 140, 28), 0, 10);
    FpsEdit = AddShownEdit(FilesGB, QStringLiteral("FpsEdit"), QRect(316, 115, 56, 22));
    FpsEdit->setText(QStringLiteral("0"));
}

void TConfigForm::BuildSavingGroup() {
    SavingGB = new QGroupBox(QStringLiteral(" Saving settings "), this);
    SavingGB->setGeometry(8, 160, 384, 140);
    DestDirButton = AddPushButton(SavingGB, QStringLiteral("DestDirButton"),
                                  QStringLiteral("Default folder:"), QRect(10, 22, 104, 25));
    DestDirEdit = AddShownEdit(SavingGB, QStringLiteral("DestDirEdit"), QRect(118, 23, 254, 23));
    AddLabel(SavingGB, QStringLiteral("Prefix:"), 10, 60);
    PrefixEdit = AddEdit(SavingGB, QStringLiteral("PrefixEdit"), QRect(56, 56, 90, 22), 10);
    AddLabel(SavingGB, QStringLiteral("Suffix:"), 160, 60);
    SufixEdit = AddEdit(SavingGB, QStringLiteral("SufixEdit"), QRect(206, 56, 90, 22), 10);
    AddLabel(SavingGB, QStringLiteral("From:"), 306, 60);
    FromEdit = AddEdit(SavingGB, QStringLiteral("FromEdit"), QRect(340, 56, 34, 22));
    AddLabel(SavingGB, QStringLiteral("Digits:"), 10, 100);
    DigitsTB = AddTrackBar(SavingGB, QStringLiteral("DigitsTB"), QRect(56, 92, 90, 28), 1, 6);
    DigitsTB->setValue(6);
    DigitsEdit = AddShownEdit(SavingGB, QStringLiteral("DigitsEdit"), QRect(150, 96, 50, 22));
    DigitsEdit->setText(QStringLiteral("000000"));
    AddLabel(SavingGB, QStringLiteral("Sample:"), 210, 100);
    SampleEdit = AddShownEdit(SavingGB, QStringLiteral("SampleEdit"), QRect(262, 96, 112, 22));
}

void TConfigForm::BuildButtons() {
    const TDialogButtons buttons = AddOkCancelButtons(
        this, QStringLiteral("OkButton"), QStringLiteral("CancelButton"), 116, 208, 310);
    OkButton = buttons.ok;
    CancelButton = buttons.cancel;
}

void TConfigForm::ConnectHandlers() {
    connect(OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(2); });
    connect(OptiTrackBar, &QSlider::valueChanged, this, [this] { OptiTrackBarChange(); });
    connect(SpeedTrackBar, &QSlider::valueChanged, this, [this] { SpeedTrackBarChange(); });
    connect(DigitsTB, &QSlider::valueChanged, this, [this] { DigitsTBChange(); });
    NameEntries().OnTextChanged(this, [this] { SampleChange(); });
    connect(SrcDirButton, &QPushButton::clicked, this, [this] { SrcDirButtonClick(); });
    connect(DestDirButton, &QPushButton::clicked, this, [this] { DestDirButtonClick(); });
    connect(DefFolderButton, &QToolButton::clicked, this, [this] { DefFolderButtonClick(); });
}

void TConfigForm::done(int result) {
    if (result != 1) {
        LoadConfig(this);
    }
    QDialog::done(result);
}

void TConfigForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

// Every opening shows the stored values: unsaved edits of an earlier opening are dropped.
void TConfigForm::FormShow() {
    LoadConfig(this);
    OkButton->setFocus();
}

void TConfigForm::OptiTrackBarChange() {
    OptiLabel->setText(slideshow::PreviewQualityHint(OptiTrackBar->value()));
}

void TConfigForm::SpeedTrackBarChange() {
    FpsEdit->setText(SpeedPercentText(SpeedTrackBar->value()));
}

void TConfigForm::DigitsTBChange() {
    NameEntries().ShowDigits();
}

void TConfigForm::SampleChange() {
    NameEntries().ShowSample();
}

TNameFields TConfigForm::NameEntries() const {
    return {PrefixEdit, FromEdit, DigitsTB, SufixEdit, DigitsEdit, SampleEdit};
}

void TConfigForm::Refuse(const QString& message, QWidget* control) {
    platform::Beep();
    platform::ShowError(isVisible() ? message : message + StoredSettingText(control));
    // Checked hidden at start-up, the dialog must not pull the focus to itself.
    if (isVisible()) {
        control->setFocus();
    }
}

// Checked hidden at start-up, the box is all the user sees: it names the stored setting
// and the file it comes from.
QString TConfigForm::StoredSettingText(const QWidget* control) const {
    const QString key = control == PrefixEdit  ? QStringLiteral("Prefix")
                        : control == SufixEdit ? QStringLiteral("Sufix")
                                               : QStringLiteral("From");
    const auto* edit = qobject_cast<const QLineEdit*>(control);
    return "\n[Saving] " + key + "=" + (edit ? edit->text() : QString()) + " in '" +
           platform::IniFilePath() + "'";
}

void TConfigForm::OkButtonClick() {
    if (const std::optional<TNameFault> fault = NameEntries().FirstFault()) {
        return Refuse(fault->message, fault->control);
    }
    const TConfigValues values = ControlValues();
    TIniFile ini(platform::IniFilePath());
    ini.WriteString(kViewer, QStringLiteral("Source"), values.source);
    ini.WriteInteger(kViewer, QStringLiteral("Optimization"), values.optimization);
    ini.WriteInteger(kViewer, QStringLiteral("PlaySpeed"), values.playSpeed);
    ini.WriteString(kSaving, QStringLiteral("Destination"), values.destination);
    ini.WriteString(kSaving, QStringLiteral("Prefix"), values.prefix);
    ini.WriteString(kSaving, QStringLiteral("Sufix"), values.sufix);
    ini.WriteInteger(kSaving, QStringLiteral("Digits"), values.digits);
    ini.WriteString(kSaving, QStringLiteral("From"), values.from);
    if (ini.UpdateFile()) {
        unsaved_.reset();
    } else {
        ReportSettingsFileProblem(ini, true);
        unsaved_ = values;
    }
    if (isVisible()) {
        done(1);
    } else {
        setResult(1);
    }
}

TConfigValues TConfigForm::ControlValues() const {
    TConfigValues values;
    values.source = SrcDirEdit->text();
    values.optimization = OptiTrackBar->value();
    values.playSpeed = SpeedTrackBar->value();
    values.destination = DestDirEdit->text();
    values.prefix = PrefixEdit->text();
    values.sufix = SufixEdit->text();
    values.digits = DigitsTB->value();
    values.from = QString::number(ParseInteger(FromEdit->text()).value_or(1));
    return values;
}

TConfigValues TConfigForm::StoredValues() const {
    if (unsaved_) {
        return *unsaved_;
    }
    const TIniFile ini(platform::IniFilePath());
    ReportSettingsFileProblem(ini, false);
    TConfigValues values;
    values.source =
        ini.ReadString(kViewer, QStringLiteral("Source"), platform::DefaultSourceFolder());
    values.optimization = ini.ReadInteger(kViewer, QStringLiteral("Optimization"),
                                          DefaultOptimization(platform::PhysicalMemoryBytes()));
    values.playSpeed = ini.ReadInteger(kViewer, QStringLiteral("PlaySpeed"), 250);
    values.destination = ini.ReadString(kSaving, QStringLiteral("Destination"),
                                        platform::DefaultDestinationFolder());
    values.prefix = ini.ReadString(kSaving, QStringLiteral("Prefix"), QString());
    values.sufix = ini.ReadString(kSaving, QStringLiteral("Sufix"), QString());
    values.digits = ini.ReadInteger(kSaving, QStringLiteral("Digits"), 2);
    values.from = QString::number(ini.ReadInteger(kSaving, QStringLiteral("From"), 1));
    return values;
}

// In the order the settings have always been loaded, each track bar's text following it.
void TConfigForm::ShowValues(const TConfigValues& values) {
    SrcDirEdit->setText(values.source);
    OptiTrackBar->setValue(values.optimization);
    OptiTrackBarChange();
    SpeedTrackBar->setValue(values.playSpeed);
    SpeedTrackBarChange();
    DestDirEdit->setText(values.destination);
    PrefixEdit->setText(values.prefix);
    SufixEdit->setText(values.sufix);
    DigitsTB->setValue(values.digits);
    FromEdit->setText(values.from);
    DigitsTBChange();
}

void TConfigForm::SrcDirButtonClick() {
    const QString folder =
        SelectFolderDialog(SrcDirEdit->text(), QStringLiteral("Select source folder"), {}, false);
    SrcDirEdit->setText(platform::WithTrailingSlash(folder));
}

void TConfigForm::DestDirButtonClick() {
    const QString folder =
        SelectFolderDialog(DestDirEdit->text(), QStringLiteral("Select default folder"), {}, false);
    DestDirEdit->setText(platform::WithTrailingSlash(folder));
}

void TConfigForm::DefFolderButtonClick() {
    const auto answer = platform::ShowMessage(
        QStringLiteral("Do you want to save current folder as default?"),
        QStringLiteral("Save default folder"), {platform::MsgButton::Yes, platform::MsgButton::No},
        platform::MsgIcon::Question);
    if (answer != platform::MsgButton::Yes || !CurrentFolder) {
        return;
    }
    SrcDirEdit->setText(platform::WithTrailingSlash(CurrentFolder()));
    SaveSourceFolder(this);
}

void LoadConfig(TConfigForm* form) {
    form->ShowValues(form->StoredValues());
}

void SaveSourceFolder(TConfigForm* form) {
    TIniFile ini(platform::IniFilePath());
    ini.WriteString(kViewer, QStringLiteral("Source"), form->SrcDirEdit->text());
    const bool saved = ini.UpdateFile();
    if (!saved) {
        ReportSettingsFileProblem(ini, true);
    }
    // The folder joins the settings kept for the running program, or starts them.
    if (!saved || form->unsaved_) {
        TConfigValues kept = form->StoredValues();
        kept.source = form->SrcDirEdit->text();
        form->unsaved_ = kept;
    }
}

void ReportSettingsFileProblem(const TIniFile& ini, bool saving) {
    const int error = saving ? ini.LastError() : ini.ReadError();
    static std::set<QString> told;  // UI thread only
    if (error == 0 || !told.insert(ini.FileName()).second) {
        return;
    }
    const QString where =
        "'" + ini.FileName() + "': " + QString::fromLocal8Bit(std::strerror(error));
    const QString text =
        saving ? "The settings can't be saved to " + where + "."
               : "The settings can't be read from " + where +
                     ".\nThe program uses its default settings and leaves that file as it is.";
    platform::ShowMessage(text, QStringLiteral("Warning !"), {platform::MsgButton::Ok},
                          platform::MsgIcon::Warning);
}
