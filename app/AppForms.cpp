#include "app/AppForms.h"

#include <QApplication>
#include <exception>

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

int RunOrvaneViewer() {
    QApplication::setApplicationName(QStringLiteral("Orvane Viewer v.1"));
    ShowSplash();
    HideSplash(kSplashMinimumMs);
    try {
        TApplicationForms forms;
        const TTerminationWatcher termination([] { MainForm->close(); });
        MainForm->FormShow();
        QApplication::exec();
    } catch (const std::exception& error) {
        platform::ShowError(QString::fromLocal8Bit(error.what()));
        return kStartUpFailed;
    } catch (...) {
        platform::ShowError(QStringLiteral("Unknown error."));
        return kStartUpFailed;
    }
    return 0;
}
