#pragma once
// A question with five answers (Yes, Yes to All, No, No to All, Cancel) and a system icon,
// used when a file to be written exists already. ShowQuestion returns the modal result of
// the pressed button: 6 Yes, 10 Yes to All, 7 No, 9 No to All, 2 Cancel or closed.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

class TQuestionForm : public QDialog {
    Q_OBJECT
  public:
    explicit TQuestionForm(QWidget* owner = nullptr);

    QLabel* SysImage = nullptr;
    QLabel* WarningLbl = nullptr;
    QPushButton* YesBtn = nullptr;
    QPushButton* YesAllBtn = nullptr;
    QPushButton* NoBtn = nullptr;
    QPushButton* NoAllBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Sets the question text and grows the box when the text needs more room.
    void SetText(const QString& text);

  private:
    QPushButton* AddButton(const QString& name, const QString& caption, int left, int result);
};

// Icon names as the callers give them: "IDI_ASTERISK"/"IDI_INFORMATION",
// "IDI_ERROR"/"IDI_HAND", "IDI_EXCLAMATION"/"IDI_WARNING", "IDI_QUESTION",
// "IDI_WINLOGO" (the program's icon). Any other name shows no icon.
QIcon QuestionIcon(const QString& iconName);

int ShowQuestion(const QString& text, const QString& caption, const QString& iconName);
