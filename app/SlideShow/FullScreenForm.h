#pragma once
// The borderless, topmost window that covers the screen while the slideshow's picture is
// shown full screen. The slideshow moves its picture panel onto it when it is shown and
// back when it hides; any character key closes it.

#include <QDialog>
#include <functional>

class TFullScreenForm : public QDialog {
    Q_OBJECT
  public:
    explicit TFullScreenForm(const QRect& screen);

    std::function<void()> OnShow;
    std::function<void()> OnHide;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
