#pragma once
// The slideshow's number rules: preview quality levels, play speed, progress percentages
// and what closing the preview form decides. Pure functions, no widgets.

#include <QString>
#include <cstdint>
#include <functional>

namespace slideshow {

// Quality level 0..3 to the JPEG scale denominator 8, 4, 2, 1; any other level decodes at 1/2.
int OptiToQuality(int level);
// The level a new control starts with, from the machine's physical memory in bytes:
// 0 below 64 MiB, 1 below 96 MiB, else 2. Never 3: full size is chosen by the user.
int DefOptimizationFor(uint64_t physicalBytes);
// The level the preview form uses: levels outside 0..3 become 3.
int ClampPreviewLevel(int level);
// The hint of the main window's quality bar for a level; empty outside 0..3.
QString PreviewQualityHint(int level);

inline constexpr int kSpeedMin = 50;
inline constexpr int kSpeedMax = 1000;
inline constexpr int kSpeedSum = 1050;  // speed bar position + frame delay
inline constexpr int kDefaultDelay = 250;
// Speed bar position to frame delay in ms: the right end (1000) plays at 50 ms a picture.
int SpeedToDelay(int position);
// Frame delay to the speed bar position, kept within the bar's range.
int DelayToSpeed(int delayMs);
// The delay the preview form plays at: below 1 ms it falls back to 250 ms.
int PreviewDelay(int delayMs);

// Percent reported after picture index (0-based) of count is done.
unsigned char StepPercent(int index, int count);

// Closing the preview form. The host asks the user only where a question is due.
enum class CloseAnswer { Yes, No, Cancel };
enum class CloseQuestion { None, YesNoCancel, YesNo };
struct CloseDecision {
    bool canClose = true;
    int modalResult = 2;  // 1 = apply the new order, 2 = leave the series as it was
};
// Which question closing asks: a changed order asks Yes/No/Cancel, an emptied series
// asks Yes/No, anything else (and a reduced preview) asks nothing.
CloseQuestion CloseQuestionFor(bool reduced, bool changed, bool empty);
CloseDecision DecideClose(bool reduced, bool changed, bool empty,
                          const std::function<CloseAnswer(CloseQuestion)>& ask);

}  // namespace slideshow
