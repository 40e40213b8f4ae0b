#pragma once
// Geometry of the slideshow: fitting a picture into the panel, the number box, the
// thumbnail column's positions and the picture drag. Pure functions; every division by a
// size is guarded, so 1-pixel-wide and very wide pictures are safe.

#include <QRect>
#include <QSize>
#include <QString>

namespace slideshow {

// number x numerator / denominator rounded to the nearest integer (halves away from zero);
// -1 when the denominator is 0 or the result does not fit an int.
int MulDiv(int number, int numerator, int denominator);

// Where a picture of the given decoded size, shown at scale times that size, lands in the
// client rectangle: fitted keeping its aspect ratio, never enlarged past scale x its size,
// centred with the odd pixel going right and down. Empty for an empty picture or client.
QRect FitImageRect(const QRect& client, const QSize& picture, int scale);

// The text measured to size the number box: "88" once per digit of count, then " / ".
QString StatMeasureText(int count);
// What the box reads: "3 / 10".
QString StatText(int index, int count);
// The number box in the client's bottom-right corner for a measured text extent.
QRect StatBoxRect(const QRect& client, const QSize& textExtent);

// Thumbnail under y (column coordinates) with the column scrolled by scroll.
int CurPos(int y, int scroll, int thumbHeight);
// The gap (0..count) nearest to a thumbnail top at y: an exact half goes down.
int InsPos(int y, int scroll, int thumbHeight, int count);
// The gap that a dragged picture fills once it has left its old place.
int MarkGap(int ins, int dragSource, int count);
// Whether the upper and the lower insertion mark are drawn for gap ins.
bool ShowsUpperMark(int ins, int count);
bool ShowsLowerMark(int ins, int dragSource, int count);
// Where a drop at gap ins puts the picture: at most the last index.
int DropTarget(int ins, int count);

// Pictures stepped by a horizontal move of dx pixels across a picture rectangle
// imageWidth wide (right - left): five sixths of the width step once through the series.
int DragSteps(int dx, int count, int imageWidth);
// index wrapped into 0..count-1 (negative indices wrap from the end); -1 for no pictures.
int WrapIndex(int index, int count);

inline constexpr int kThumbButtonWidth = 116;
// The glyph cell of a thumbnail button: button width - 4 wide, height by the picture's
// aspect ratio, at least 1.
QSize ThumbCellSize(const QSize& picture, int buttonWidth = kThumbButtonWidth);

inline constexpr int kOrientPreviewSide = 153;
// Where a picture is drawn inside a square orientation preview: fitted and centred.
QRect OrientPreviewRect(const QSize& picture, int side = kOrientPreviewSide);

// Picture area of the "Incorrect set of images" dialog: at most 500 x 375, left at x.
QRect ErrorPictureRect(const QSize& picture);

}  // namespace slideshow
