#pragma once
// The scroll box of the full-size preview: it holds one picture, paints it centred while
// it is smaller than the box, and lets the user drag it with the left mouse button where
// it is larger. JPEG and BMP files are read with Qt's own readers, not with the program's
// decoders: the preview shows the file as it is, so no EXIF orientation is applied, and
// Qt's allocation limit is raised so that large photos open.
// UI thread only.

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QString>
#include <stdexcept>

// A picture read for the preview, with its bit depth as the file gives it: 24 for a
// colour JPEG and 8 for a greyscale one; a BMP's stored depth (1, 4, 8, 15, 16, 24, 32),
// 0 for formats that have no plain depth (compressed or with unusual colour masks).
struct TPreviewPicture {
    QImage image;
    int depth = 0;
};

// Thrown when the file is not a JPEG or BMP by its extension, or cannot be read.
class PreviewLoadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The allocation limit (MB) the preview's reader needs at least; raised for the whole
// program once, since a limit lower than this only hides large photos.
constexpr int kPreviewAllocationLimitMb = 1024;

// Reads fileName by its extension (".jpg", ".jpeg", ".bmp", letter case ignored); the
// content must match the extension. Throws PreviewLoadError.
TPreviewPicture LoadPreviewPicture(const QString& fileName);

// The depth a BMP file stores its pixels with (see TPreviewPicture); 0 when the header
// cannot be read.
int BmpFileDepth(const QString& fileName);

// Which scroll bars a box of size whole needs to show picture (first across, then down),
// bars being the vertical bar's width and the horizontal bar's height. Decided against the
// box's whole area, not against a viewport that bars shown earlier have already shrunk: a
// bar along one direction takes room from the other, which may then need one too.
struct TScrollNeed {
    bool across = false;
    bool down = false;
};
TScrollNeed NeededScrollBars(QSize picture, QSize whole, QSize bars);

class TPaintScroll : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // Loads the picture; throws PreviewLoadError. Hidden until its form shows it.
    TPaintScroll(QWidget* owner, bool tracking, const QString& fileName);

    int PictureWidth() const { return picture_.width(); }
    int PictureHeight() const { return picture_.height(); }
    int BitDepth() const { return depth_; }
    // Where the picture is drawn in the box (0 where it is larger than the box).
    int PictureLeft() const { return pictureLeft_; }
    int PictureTop() const { return pictureTop_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void ComputeOffsets();

    QImage picture_;
    int depth_ = 0;
    int pictureLeft_ = 0;
    int pictureTop_ = 0;
    QPoint drag_;
};
