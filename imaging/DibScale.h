#pragma once
// Scales a picture straight into an upright frame of another size in one pass: each output
// row is blended from the two source rows around it, which are blended from the two pixels
// around each output column (bilinear filtering, the samples placed where QPainter's smooth
// transform puts them, so the frame looks as a smooth DibDraw would draw it). No copy of the
// picture at its own size is ever made, and the rows of a large frame are shared out over
// several threads.

#include <QImage>
#include <QSize>

#include "imaging/PackedDib.h"

// True for the pictures DibScaleFrame takes: 24-bit and 8-bit (palette) ones whose rows lie
// inside their block.
bool DibScalable(const DibInfoHeader* dib);

// The whole picture scaled to size as a Format_RGB32 image (opaque), row 0 at the top.
// threads is how many threads may share the rows (at least 1; fewer are used for small
// frames). A null image when the picture is not scalable, the size is empty or there is
// no memory for the frame.
QImage DibScaleFrame(const DibInfoHeader* dib, QSize size, int threads);

// The same into an existing Format_RGB32 image, whose size is the frame's (memory the
// caller keeps for frames, so that a new frame costs no fresh pages). False, leaving the
// image as it was, when the picture is not scalable, the image is empty or of another
// format, or there is no memory for the work.
bool DibScaleInto(const DibInfoHeader* dib, QImage& frame, int threads);

// The threads worth using for a frame of size made from a picture of srcWidth x srcHeight
// on a machine with `cores` cores: one for small frames, where starting threads costs more
// than it saves, up to all cores for frames that take milliseconds.
int DibScaleThreadsFor(QSize size, int srcWidth, int srcHeight, int cores);
