#include "app/AppForms.h"

#include <QApplication>
#include <QDialog>
#include <exception>
#include <optional>

#include "app/Dialogs/ConfigForm.h"
#include "app/Dialogs/ProgressForm.h"
#include "app/Dialogs/QuestionForm.h"
#include "app/MainWindow/MainForm.h"
#include "app/Saving/SavingForm.h"
#include "app/SplashForm.h"
#include "app/TerminationWatcher.h"
#include "platform/MessageService.h"

TMainForm* MainForm = nullptr;
TProgressForm* ProgressForm = nullptr;
TSavingForm* SavingForm = nullptr;
TQuestionForm* QuestionForm = nullptr;
TConfigForm* ConfigForm = nullptr;

namespace {

constexpr int kSplashMinimumMs = 1500;
constexpr int kStartUpFailed = 1;

// Once the program is asked to end, no message box waits for an answer: each gets the one
// that changes nothing.
class TUnattendedMessages final : public platform::MessageService {
  public:
    platform::MsgButton Ask(const platform::MessageRequest& request) override {
        return platform::SafestAnswer(request.buttons);
    }
    void Beep() override {}
};

// Closes every modal window without an answer: a dialog is rejected, as its close box
// would, and a message box so closed answers the safest way.
void RejectModalWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || !window->isModal()) {
            continue;
        }
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialog->reject();
        } else {
            window->close();
        }
    }
}

}  // namespace

TApplicationForms::TApplicationForms() {
    try {
        MainForm = new TMainForm();
        ProgressForm = new TProgressForm(MainForm);
        SavingForm = new TSavingForm(MainForm);
        QuestionForm = new TQuestionForm(MainForm);
        ConfigForm = new TConfigForm(MainForm);
        ConfigForm->CurrentFolder = [] { return MainForm->DirTree->GetFolder(); };
        SavingForm->Config = ConfigForm;
    } catch (...) {
        delete MainForm;  // owns the dialogs made so far
        MainForm = nullptr;
        ProgressForm = nullptr;
        SavingForm = nullptr;
        QuestionForm = nullptr;
        ConfigForm = nullptr;
        throw;
    }
}

TApplicationForms::~TApplicationForms() {
    delete MainForm;
    MainForm = nullptr;
    ProgressForm = nullptr;
    SavingForm = nullptr;
    QuestionForm = nullptr;
    ConfigForm = nullptr;
}

// A signal to end closes the main window as the user would, once no box or dialog holds
// the program: they are answered the safest way, and so is every box that comes after.
// Before start-up has shown the window, the close waits until it has (a window that was
// never shown has nothing to close, and start-up would show it afterwards).
int RunOrvaneViewer() {
    QApplication::setApplicationName(QStringLiteral("Orvane Viewer v.1"));
    ShowSplash();
    HideSplash(kSplashMinimumMs);
    TUnattendedMessages unattended;
    std::optional<platform::ScopedMessageService> ending;
    try {
        TApplicationForms forms;
        bool endAfterStartUp = false;
        const TTerminationWatcher termination([&] {
            if (!ending) {
                ending.emplace(unattended);
            }
            RejectModalWindows();
            if (MainForm->isVisible()) {
                MainForm->close();
            } else {
                endAfterStartUp = true;
            }
        });
        MainForm->FormShow();
        if (endAfterStartUp) {
            MainForm->close();
        } else {
            QApplication::exec();
        }
    } catch (const std::exception& error) {
        platform::ShowError(QString::fromLocal8Bit(error.what()));
        return kStartUpFailed;
    } catch (...) {
        platform::ShowError(QStringLiteral("Unknown error."));
        return kStartUpFailed;
    }
    return 0;
}
