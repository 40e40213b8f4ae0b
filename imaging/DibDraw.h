#pragma once
// The one way a PackedDib reaches a paint device: its rows are wrapped in a QImage without
// copying and drawn with QPainter. 24-bit pictures draw as BGR888, 32-bit ones as RGB32
// (blue, green, red, ignored byte in memory), 16-bit ones as 5-5-5, 8-bit and 1-bit ones
// indexed through their palette; 4-bit pictures, which Qt cannot paint, are expanded into
// an 8-bit copy. Bottom-up pictures are drawn through a vertical flip.

#include <QImage>
#include <QRect>

#include "imaging/PackedDib.h"

class QPainter;

// The rows as they lie in memory: image row 0 is the first stored row, which is the bottom
// row of a bottom-up (positive height) picture. The image reads the picture's memory, so the
// picture must outlive it. A null image for a null picture, one whose rows do not lie inside
// its block, a compressed one, or a bit count other than 1, 4, 8, 16, 24 and 32.
QImage DibWrapRows(const DibInfoHeader* dib);

// An upright copy (row 0 = top row) in Format_RGB32, fully opaque; null as above.
QImage DibToImage(const DibInfoHeader* dib);

// Draws the source rectangle (in picture pixels, origin at the top-left corner) stretched
// into dst, whose right and bottom edges are inclusive as QRect has them. A source rectangle
// reaching past the picture is clipped to it, keeping the scale: the part of dst that would
// show the missing pixels is left untouched. Nothing for a null picture, an empty dst or an
// empty source. `smooth` filters when scaling; without it pixels are repeated or dropped.
void DibDraw(const DibInfoHeader* dib, QPainter& painter, const QRect& dst, int srcX, int srcY,
             int srcW, int srcH, bool smooth = false);

// The whole picture into dst.
void DibDraw(const DibInfoHeader* dib, QPainter& painter, const QRect& dst, bool smooth = false);
