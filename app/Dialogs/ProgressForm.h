#pragma once
// The borderless, stay-on-top box in which long operations show their progress: a line of
// text over a bar from 0 to 100. Its user sets both and shows or hides it.

#include <QDialog>
#include <QLabel>
#include <QProgressBar>

class TProgressForm : public QDialog {
    Q_OBJECT
  public:
    explicit TProgressForm(QWidget* owner = nullptr);

    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;

    // Shows the box centred on the screen, without making it modal.
    void ShowCentred();
};
