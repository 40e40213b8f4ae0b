#pragma once
// Turns a QImage of any format into a 24-bit PackedDib, for pictures that arrive as
// images rather than files.

#include <QImage>

#include "imaging/PackedDib.h"

// A new 24-bit picture with the image's pixels (transparency is dropped); null for a null
// or empty image or when the picture cannot be allocated.
UniqueDib PackedDibFromImage(const QImage& image);
