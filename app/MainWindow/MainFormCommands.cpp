// The main window's commands beyond the series list: the preview, the save, the top bar
// and the keys the window answers wherever the focus is.

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include "app/AppForms.h"
#include "app/Dialogs/ConfigForm.h"
#include "app/Dialogs/OrientForm.h"
#include "app/Dialogs/ProgressForm.h"
#include "app/MainWindow/FolderScan.h"
#include "app/MainWindow/FormHelpers.h"
#include "app/MainWindow/MainForm.h"
#include "app/MainWindow/TopBarCommands.h"
#include "app/Preview/PreviewForm.h"
#include "app/Saving/SaveCommand.h"
#include "app/Saving/SavingForm.h"
#include "platform/IniLocation.h"
#include "platform/Paths.h"

namespace {

// The speed bar runs from 50 (slow) to 1000 (fast); the frame delay is its mirror.
constexpr int kDelayMirror = 1050;

}  // namespace

void TMainForm::ConnectCommands() {
    connect(PreviewButton, &QToolButton::clicked, this, Guarded([this] { StartButtonClick(); }));
    connect(SaveButton, &QToolButton::clicked, this, Guarded([this] { SaveButtonClick(); }));
    connect(DefFolderButton, &QToolButton::clicked, this,
            Guarded([this] { DefFolderButtonClick(); }));
    connect(ConfigButton, &QToolButton::clicked, this, Guarded([this] { ConfigButtonClick(); }));
    connect(AboutButton, &QToolButton::clicked, this, Guarded([this] { AboutButtonClick(); }));
    connect(HelpButton, &QToolButton::clicked, this, Guarded([this] { HelpButtonClick(); }));
    connect(MakeUpItem, &QAction::triggered, this, Guarded([this] { MakeUpItemClick(); }));
    connect(MakeDownItem, &QAction::triggered, this, Guarded([this] { MakeDownItemClick(); }));
    connect(MakeFirstItem, &QAction::triggered, this, Guarded([this] { MakeFirstItemClick(); }));
    connect(SelectedLV, &TListView::ColumnClick, this,
            [this](int column) { platform::GuardSlot([&] { SelectedLVColumnClick(column); }); });
    ShowPreview = [](const QString& file) { ::ShowPreview(file); };
}

// ---------------------------------------------------------------- preview

void TMainForm::StartButtonClick() {
    if (busy_ || SelectedFiles.isEmpty()) {
        return;
    }
    // Every missing picture is reported once; a picture whose temporary copy is still
    // there can be shown from it.
    bool ok = true;
    for (const QString& path : SelectedFiles) {
        if (!IsReadableFile(ReadablePath(path))) {
            ReportUnreadable(path);
            ok = false;
        }
    }
    if (!ok) {
        return;
    }
    TSlideShowOptions options;
    options.background = Qt::white;
    options.delayMs =
        kDelayMirror - (ConfigForm != nullptr ? ConfigForm->SpeedTrackBar->value() : 800);
    options.optLevel = OptiTrackBar->value();
    options.rotateMode = kRotateAsk;
    options.reduced = false;
    options.onProgress = [this](QObject* sender, unsigned char stage, unsigned char percent,
                                const QString& message, bool& cancel) {
        OnProgress(sender, stage, percent, message, cancel);
    };
    options.askOrientation = ShowOrientDialog;
    options.readablePath = [this](const QString& path) { return ReadablePath(path); };
    options.iniFile = platform::IniFilePath();
    options.owner = this;

    QStringList series = SelectedFiles;
    int result = 0;
    // While the preview is up the series and the folder stay as they are, and a request
    // to close waits for its end.
    RunBusy([&] { result = RunSlideShow(series, options); });
    if (result != 1) {
        return;
    }
    for (const QString& path : SelectedFiles) {
        if (!series.contains(path)) {
            tempCopies_->DeleteCopy(path);
        }
    }
    SelectedFiles = series;
    if (SelectedFiles.isEmpty()) {
        UseTempCopies = true;
    }
    RebuildSeriesList();
    SelectedLV->SelectListItem(0);
    DirTreeChange();
    UpdateSelectedLabel();
    UpdateSeriesButtons();
}

void TMainForm::OnProgress(QObject*, unsigned char stage, unsigned char percent,
                           const QString& message, bool&) {
    if (ProgressForm == nullptr) {
        return;
    }
    if (stage == ssBegin) {
        ProgressForm->ShowCentred();
    }
    ProgressForm->ProgressLabel->setText(message);
    ProgressForm->ProgressBar->setValue(percent);
    ProgressForm->repaint();
    if (stage == ssEnd) {
        ProgressForm->hide();
    }
}

// ---------------------------------------------------------------- save

void TMainForm::SaveButtonClick() {
    if (busy_ || SelectedFiles.isEmpty() || SavingForm == nullptr) {
        return;
    }
    TSaveServices services;
    services.readablePath = [this](const QString& path) { return ReadablePath(path); };
    services.progress = ProgressOn(ProgressForm);
    // The progress box lets events other than input through: nothing may change the
    // series or close the window in the middle of the copies.
    const QStringList series = SelectedFiles;
    RunBusy([&] { SaveSeriesAsPackage(series, *SavingForm, std::move(services)); });
}

// ---------------------------------------------------------------- top bar

void TMainForm::DefFolderButtonClick() {
    if (ConfigForm != nullptr) {
        ConfigForm->DefFolderButtonClick();
    }
}

void TMainForm::ConfigButtonClick() {
    if (ConfigForm == nullptr || busy_) {
        return;
    }
    const TConfigChanges changes = RunConfiguration(*ConfigForm);
    if (changes.sourceFolder) {
        DirTree->SelectFolder(*changes.sourceFolder);
    }
    if (changes.quality) {
        OptiTrackBar->setValue(*changes.quality);
    }
}

void TMainForm::AboutButtonClick() {
    ShowAbout(this);
}

void TMainForm::HelpButtonClick() {
    ShowHelpUnavailable();
}

// ---------------------------------------------------------------- form-wide keys

// A key the focused control leaves goes on to its parents as the same event: the window
// answers it at its first receiver only.
bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        keySeen_ = nullptr;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
        return QMainWindow::eventFilter(watched, event);
    }
    auto* widget = static_cast<QWidget*>(watched);
    const bool passedOn = event == keySeen_ && keyReceiver_ != nullptr && widget != keyReceiver_ &&
                          widget->isAncestorOf(keyReceiver_);
    if (!passedOn && widget->window() == this) {
        keySeen_ = event;
        keyReceiver_ = widget;
        FormKeyDown(static_cast<QKeyEvent*>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::FormKeyDown(const QKeyEvent* event) {
    const TFormKeyState state{SelectedLV->FirstSelected() >= 0, PreviewButton->isEnabled(),
                              SaveButton->isEnabled(), FilesLV->Count() > 0};
    const TFormCommand command = FormKeyCommand(*event, state);
    if (command == TFormCommand::None) {
        return;
    }
    // The command runs once the key has reached the focused control, so a dialog it
    // opens does not run inside the key's delivery.
    QTimer::singleShot(0, this, Guarded([this, command] { RunFormCommand(command); }));
}

void TMainForm::RunFormCommand(TFormCommand command) {
    switch (command) {
        case TFormCommand::Add:
            AddButtonClick();
            break;
        case TFormCommand::Remove:
            DeleteButtonClick();
            break;
        case TFormCommand::Preview:
            StartButtonClick();
            break;
        case TFormCommand::Save:
            SaveButtonClick();
            break;
        case TFormCommand::SelectAll:
            SelectAllButtonClick();
            break;
        case TFormCommand::None:
            break;
    }
}
