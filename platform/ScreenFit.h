#pragma once
// Where a window restored from the settings file may open. The stored values are the
// user's to edit and may be anything an int holds, and the screens may have changed since
// they were written; whatever they say, the window opens on the available part of a
// screen (its work area, without panels and docks), so that its title bar and buttons can
// be reached.

#include <QMargins>
#include <QRect>
#include <QSize>
#include <vector>

class QWindow;

namespace platform {

// A window's outer frame as stored: the corner, then the size.
struct WindowFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Fits frame onto one of areas (each screen's available geometry, the primary one first):
// the area holding the largest part of the frame once it has its minimum size, or the
// first when none holds any of it. The size is raised to minimum first, then limited to
// the area (never below minimum); the position then moves the whole frame into the area,
// or to the area's corner when even the minimum does not fit. A normal window keeps no
// border outside the screen (only a maximised one does, and the window system places
// that), so its edges and buttons stay in reach. Any int is taken; without areas only the
// minimum applies.
WindowFrame FitOnScreen(const WindowFrame& frame, QSize minimum, const std::vector<QRect>& areas);

// The frame the window system puts around window (title bar and borders) as far as it is
// known: none for a window not shown. A window about to open is given the frame of the
// window it belongs to, as its own is known only once it is shown, after it was placed.
QMargins FrameMarginsOf(const QWindow* window);

// Every screen's available geometry, the primary screen's first (a 1024 x 768 area when
// there is no screen).
std::vector<QRect> AvailableScreenAreas();

}  // namespace platform
