#pragma once
// The program's start-up and its windows made at start-up. As the program has always
// done, the windows that live for the whole run are reachable through one global each;
// the other dialogs are made when needed.

class TMainForm;
class TProgressForm;
class TSavingForm;
class TQuestionForm;
class TConfigForm;

extern TMainForm* MainForm;
extern TProgressForm* ProgressForm;
extern TSavingForm* SavingForm;
extern TQuestionForm* QuestionForm;
extern TConfigForm* ConfigForm;

// Makes the windows in their order (main window, progress, saving, question,
// configuration) and sets the globals; the caller owns them through the returned object,
// which clears the globals again when it goes. Throws what the main window throws.
class TApplicationForms {
  public:
    TApplicationForms();
    ~TApplicationForms();
    TApplicationForms(const TApplicationForms&) = delete;
    TApplicationForms& operator=(const TApplicationForms&) = delete;
};

// The program after the QApplication exists: title, splash for at least 1500 ms, the
// windows, the main window shown, the event loop. Returns the exit code: 0 after the main
// window closed, non-zero when start-up failed (after its message was shown).
int RunOrvaneViewer();
