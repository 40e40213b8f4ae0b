#pragma once
// The choice of orientation for a new series: three large buttons showing the first
// picture turned left, as it is and turned right. ShowOrientDialog returns -1, 0 or 1 for
// the pressed button and -100 when the dialog was cancelled or closed.

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

class TOrientForm : public QDialog {
    Q_OBJECT
  public:
    explicit TOrientForm(QWidget* owner = nullptr);

    QLabel* MainLabel = nullptr;
    QToolButton* LeftButton = nullptr;
    QToolButton* NormalButton = nullptr;
    QToolButton* RightButton = nullptr;
    QPushButton* CancelBtn = nullptr;

    int Direction() const { return direction_; }
    void SetGlyphs(const QImage& left, const QImage& normal, const QImage& right);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QToolButton* AddChoice(const QString& name, int left, int direction, const QString& hint);
    void FormShow();

    int direction_ = 0;
};

int ShowOrientDialog(const QString& text, const QString& caption, const QImage& leftGlyph,
                     const QImage& normalGlyph, const QImage& rightGlyph);
