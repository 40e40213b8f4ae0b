#include "app/AppForms.h"

#include <QApplication>
#include <QDialog>
#include <algorithm>
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
// that changes nothing and lets the program end, No before Cancel (the preview's question
// on closing with changes would stay open on Cancel).
class TUnattendedMessages final : public platform::MessageService {
  public:
    platform::MsgButton Ask(const platform::MessageRequest& request) override {
        const std::vector<platform::MsgButton>& buttons = request.buttons;
        if (std::find(buttons.begin(), buttons.end(), platform::MsgButton::No) != buttons.end()) {
            return platform::MsgButton::No;
        }
        return platform::SafestAnswer(buttons);
    }
    void Beep() override {}
};

// Closes modal windows without an answer, those open now and, once started, every one
// that opens later (a question of a save still running, the preview after its pictures
// are read): a dialog is rejected, as its close box would, and a message box so closed
// answers the safest way. The close is posted, so that it reaches a window that has just
// been shown through its own event loop.
class TModalCloser final : public QObject {
  public:
    void Start() {
        if (!started_) {
            QApplication::instance()->installEventFilter(this);
            started_ = true;
        }
        for (QWidget* window : QApplication::topLevelWidgets()) {
            CloseLater(window);
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            CloseLater(static_cast<QWidget*>(watched));
        }
        return false;
    }

  private:
    static void CloseLater(QWidget* window) {
        if (!window->isWindow() || !window->isVisible() || !window->isModal()) {
            return;
        }
        QMetaObject::invokeMethod(
            window,
            [window] {
                if (auto* dialog = qobject_cast<QDialog*>(window)) {
                    dialog->reject();
                } else {
                    window->close();
                }
            },
            Qt::QueuedConnection);
    }

    bool started_ = false;
};

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
        SavingForm->TemporaryFolder = MainForm->TempCopies().Parent();
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
// the program: they are answered the safest way, and so is every box or dialog that comes
// after.
// Before start-up has shown the window, the close waits until it has (a window that was
// never shown has nothing to close, and start-up would show it afterwards).
int RunOrvaneViewer() {
    QApplication::setApplicationName(QStringLiteral("Orvane Viewer v.1"));
    ShowSplash();
    HideSplash(kSplashMinimumMs);
    TUnattendedMessages unattended;
    std::optional<platform::ScopedMessageService> ending;
    TModalCloser modals;
    try {
        TApplicationForms forms;
        bool endAfterStartUp = false;
        const TTerminationWatcher termination([&] {
            if (!ending) {
                ending.emplace(unattended);
            }
            modals.Start();
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
