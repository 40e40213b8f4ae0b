#pragma once
// Types shared by the slideshow control, its form and their hosts.

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

#include "imaging/PackedDib.h"

class QObject;

// Stages of a long operation (loading or turning a series) as the host sees them.
enum TSlideShowStage : unsigned char { ssBegin = 0, ssStep = 1, ssEnd = 2 };

// Progress of loading and turning, called synchronously on the UI thread. Setting cancel
// during loading stops it after the current picture; turning ignores it.
using TSlideShowProgressEvent =
    std::function<void(QObject* sender, unsigned char stage, unsigned char percent,
                       const QString& message, bool& cancel)>;

// Turn directions of a series; kRotateCancelled means the user chose none.
inline constexpr int kRotateLeft = -1;
inline constexpr int kRotateNone = 0;
inline constexpr int kRotateRight = 1;
inline constexpr int kRotateAsk = 2;
inline constexpr int kRotateCancelled = -100;

// Asks which way a new series is to be turned: given the question, the caption and three
// previews of the first picture (turned left, as it is, turned right) it returns
// kRotateLeft, kRotateNone, kRotateRight or kRotateCancelled. The host supplies the dialog,
// so the slideshow does not depend on the windows above it.
using TOrientQuestion =
    std::function<int(const QString& text, const QString& caption, const QImage& left,
                      const QImage& normal, const QImage& right)>;

// The pictures of a series in display order; the slideshow owns them.
using DibList = std::vector<UniqueDib>;
