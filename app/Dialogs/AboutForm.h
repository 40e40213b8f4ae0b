#pragma once
// The about box: one borderless picture that closes on a click (modal result 1) or Esc.

#include <QDialog>
#include <QLabel>

class TAboutForm : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutForm(QWidget* owner = nullptr);

    QLabel* AboutImage = nullptr;

    void AboutImageClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
