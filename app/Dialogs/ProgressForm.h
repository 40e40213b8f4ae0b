#pragma once
// The borderless, stay-on-top box in which long operations show their progress: a line of
// text over a bar from 0 to 100. Its user sets both and shows or hides it.

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>

// text as it fits width pixels in metrics: whole when it fits; else, when it names a
// path, the part before the path's last '/' is shortened in the middle so that the file
// name stays whole; when even the name does not fit, the whole text is shortened in the
// middle.
QString ElidedPathText(const QString& text, const QFontMetrics& metrics, int width);

// A label that draws its text through ElidedPathText, so a long target path never hides
// the name of the file being worked on; text() stays the full text.
class TPathLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;
    QString ShownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class TProgressForm : public QDialog {
    Q_OBJECT
  public:
    explicit TProgressForm(QWidget* owner = nullptr);

    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;

    // Shows the box centred on the screen, without making it modal.
    void ShowCentred();
};
