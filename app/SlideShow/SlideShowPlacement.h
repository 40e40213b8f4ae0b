#pragma once
// Where the preview window opens and what it leaves in the settings file's [SlideShow]
// section. Width and Height hold the window's size as Qt resizes it, Left and Top the
// position of its frame as Qt moves it, so reading back what was written gives the same
// window.

#include <QRect>
#include <QSize>

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
// grow to it; a missing Left or Top centres the window on a screen of screenSize.
WindowPlacement ReadPlacement(const TIniFile& ini, const QSize& screenSize);
// Writes State, and the geometry only when the window is not maximised (the geometry it
// had before being maximised then stays in the file).
void WritePlacement(TIniFile& ini, const WindowPlacement& placement);

}  // namespace slideshow
