#pragma once
// The full-size preview: one picture file at its own size in a modal window sized to it
// within the desktop's work area, with a status bar naming the file (with its small
// icon) and giving its size and depth. Made per use and freed after it.
// UI thread only.

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

#include "app/Preview/PaintScroll.h"

// Where the preview window goes: its client area (position and size) and whether it is
// maximised because the picture is larger than the work area both ways.
struct TPreviewPlacement {
    QRect client;
    bool maximised = false;
};

// Fits the window to picture against workArea. A direction scrolls when the picture does
// not fit the largest picture box, the work area less the status bar (and less a bar's
// extent when the other direction scrolls), as the box itself decides. Along a direction
// that does not scroll, the client is the picture's size (at least 200) plus 4 (plus the
// status bar vertically, plus a bar's extent when the other direction scrolls), as much
// of it as the work area holds, centred; along one that scrolls it is the whole extent.
TPreviewPlacement FitPreviewWindow(QSize picture, int statusBarHeight, const QRect& workArea,
                                   QSize scrollBars = QSize(0, 0));

// "100 x 80 x 24b": width, height and depth, the "b" from 24 bits on.
QString PictureSizeText(int width, int height, int depth);

class TfrmPreview : public QDialog {
    Q_OBJECT
  public:
    TfrmPreview(QWidget* owner, const QString& fileName);

    // Null when the file could not be shown.
    TPaintScroll* PictureBox = nullptr;
    QWidget* StatusBar = nullptr;

    const QString& FileName() const { return fileName_; }
    QString PanelText(int panel) const;
    int PanelWidth(int panel) const;

    void FormCreate();
    void FormShow();
    void StatusBarResize();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateStatusBar();
    void FitWindow();
    void StatusBarDrawPanel(QPainter& painter, int panel, const QRect& rect);
    void PaintStatusBar();

    QString fileName_;
    QString sizeText_;
    int panelWidths_[2] = {140, 80};
    bool scrollTracking_ = true;
};

// Opens the preview of fileName modally. A file that does not exist shows nothing; one
// that cannot be shown gives "Can't full preview image '<name>' !".
void ShowPreview(const QString& fileName);
