#pragma once
// The image panel's geometry as pure functions: where the picture goes, at what
// coefficient, how far it may be dragged. The loader thread uses CalcFrameRect on a
// snapshot taken when the load starts; the widget uses the same functions on its live
// state.

#include <cstdint>

#include <QRect>
#include <QSize>

// The frame drawn around the picture.
enum TFrameType : uint8_t {
    ftNone = 0,
    ftLowered = 1,
    ftRaised = 2,
    ftFrame = 3,
};

// Pixels the frame takes on each side.
int FrameBorderOf(TFrameType frame);

// What the fit depends on, copied out of the panel.
struct FrameGeometry {
    int outerWidth = 0;  // the panel's size
    int outerHeight = 0;
    int imageSplit = 0;   // margin around the picture
    int frameBorder = 0;  // FrameBorderOf the panel's frame type
    double scale = -1.0;  // above 0: a fixed scale; otherwise the picture is fitted
};

struct FrameFit {
    double coefficient = 0.0;  // picture size x coefficient = decoded size
    QSize imageSize{0, 0};     // the size the picture is shown at; empty without a picture
};

// Fits a picture of pictureWidth x pictureHeight into the geometry. No picture (a zero
// side) gives coefficient 0 and an empty size. The shown size never exceeds the space
// left inside margin and frame; space below 0 counts as 0.
FrameFit CalcFrameRect(const FrameGeometry& geometry, int pictureWidth, int pictureHeight);

// The picture's place: imageSize centred in a window of windowSize (odd leftovers go
// right and down); the whole window when imageSize is empty.
QRect CentredClientRect(QSize windowSize, QSize imageSize);

// A scroll offset kept within [min(0, client - picture), 0].
int ClampScrollOffset(int offset, int clientExtent, int pictureExtent);

// One axis of a drag: the offset after the pointer moved by delta, never uncovering the
// picture's edges.
int DragScrollOffset(int offset, int delta, int clientExtent, int pictureExtent);

// The widget rows (inclusive range, clipped to the client) that show picture rows
// firstRow..lastRow (either order), one row of margin each side.
QRect PictureRowsOnScreen(const QRect& client, int firstRow, int lastRow, int pictureHeight,
                          bool fitted, int scrollY);
