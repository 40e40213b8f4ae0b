#pragma once
// Where the preview window opens and what it leaves in the settings file's [SlideShow]
// section. Width and Height hold the window's size as Qt resizes it, Left and Top the
// position of its frame as Qt moves it, so reading back what was written gives the same
// window.

#include <QMargins>
#include <QRect>
#include <QSize>
#include <vector>

class TIniFile;

namespace slideshow {

inline constexpr int kMinFormWidth = 540;
inline constexpr int kMinFormHeight = 406;

struct WindowPlacement {
    bool maximized = true;
    int width = kMinFormWidth;
    int height = kMinFormHeight;
    int left = 0;
    int top = 0;
};

// The placement from [SlideShow]: a missing State means maximised; sizes below the minimum
// grow to it; a missing Left or Top centres the window on the first of workAreas (the
// primary screen's); then FitPlacement.
WindowPlacement ReadPlacement(const TIniFile& ini, const std::vector<QRect>& workAreas,
                              const QMargins& frame);
// Puts the window (size without its frame, position of its frame) on the screen: the
// frame, its size at least the minimum plus frame, fitted by platform::FitOnScreen. The
// geometry a maximised window returns to is fitted as well.
WindowPlacement FitPlacement(WindowPlacement placement, const std::vector<QRect>& workAreas,
                             const QMargins& frame);
// Writes State, and the geometry only when the window is not maximised (the geometry it
// had before being maximised then stays in the file).
void WritePlacement(TIniFile& ini, const WindowPlacement& placement);

}  // namespace slideshow
