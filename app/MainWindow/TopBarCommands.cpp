#include "app/MainWindow/TopBarCommands.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "app/Dialogs/AboutForm.h"
#include "app/Dialogs/ConfigForm.h"
#include "platform/MessageService.h"

namespace {

bool Held(const QKeyEvent& event, Qt::KeyboardModifier modifier) {
    return event.modifiers().testFlag(modifier);
}

}  // namespace

TFormCommand FormKeyCommand(const QKeyEvent& event, const TFormKeyState& state) {
    switch (event.key()) {
        case Qt::Key_Insert:
            return TFormCommand::Add;
        case Qt::Key_Delete:
            return state.seriesHasSelection ? TFormCommand::Remove : TFormCommand::None;
        case Qt::Key_P:
            return Held(event, Qt::AltModifier) && state.previewEnabled ? TFormCommand::Preview
                                                                        : TFormCommand::None;
        case Qt::Key_S:
            return Held(event, Qt::AltModifier) && state.saveEnabled ? TFormCommand::Save
                                                                     : TFormCommand::None;
        case Qt::Key_A:
            return Held(event, Qt::ControlModifier) && state.filesHaveItems
                       ? TFormCommand::SelectAll
                       : TFormCommand::None;
        default:
            return TFormCommand::None;
    }
}

TSeriesKeyCommand SeriesKeyCommand(const QKeyEvent& event) {
    if (!Held(event, Qt::ControlModifier)) {
        return TSeriesKeyCommand::None;
    }
    switch (event.key()) {
        case Qt::Key_Up:
            return TSeriesKeyCommand::MoveUp;
        case Qt::Key_Down:
            return TSeriesKeyCommand::MoveDown;
        default:
            return TSeriesKeyCommand::None;
    }
}

void ShowHelpUnavailable() {
    platform::ShowMessage(QStringLiteral("Sorry, currently Help is not available"),
                          QGuiApplication::applicationDisplayName(), {platform::MsgButton::Ok},
                          platform::MsgIcon::None);
}

void ShowAbout(QWidget* owner) {
    TAboutForm about(owner);
    about.exec();
}

TConfigChanges RunConfiguration(TConfigForm& config) {
    // The dialog shows the stored settings; compare with those, not with whatever its
    // controls held before.
    LoadConfig(&config);
    const QString folderBefore = config.SrcDirEdit->text();
    const int qualityBefore = config.OptiTrackBar->value();
    TConfigChanges changes;
    if (config.exec() != 1) {
        return changes;
    }
    if (config.SrcDirEdit->text() != folderBefore) {
        changes.sourceFolder = config.SrcDirEdit->text();
    }
    if (config.OptiTrackBar->value() != qualityBefore) {
        changes.quality = config.OptiTrackBar->value();
    }
    return changes;
}
