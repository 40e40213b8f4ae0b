#pragma once
// Where the slideshow control's children go: their first placement for a control of a
// given size, and the moves made when a loaded control is resized. Pure, so the rules
// can be checked at any width without building widgets.

#include <QSize>

#include "app/SlideShow/AnchorLayout.h"

namespace slideshow {

inline constexpr int kButtonWidth = 24;
inline constexpr int kButtonHeight = 20;
inline constexpr int kPlayButtonWidth = 44;
inline constexpr int kThumbColumnWidth = 124;  // from the control's right edge to the bevel

struct SlideShowLayout {
    Bounds bottomBevel;
    Bounds prevButton;
    Bounds playButton;
    Bounds nextButton;
    Bounds speedLabel;
    Bounds rotateLeftButton;
    Bounds rotateRightButton;
    Bounds fullScreenButton;
    Bounds speedBar;
    Bounds thumbBevel;  // only when not reduced, as are the five below
    Bounds thumbBox;
    Bounds moveUpButton;
    Bounds moveDownButton;
    Bounds zOrderButton;
    Bounds deleteButton;
    Bounds picPanel;
};

// Anchors of each child, in the order of SlideShowLayout.
struct SlideShowAnchors {
    static constexpr unsigned bottomBevel = akLeft | akRight | akBottom;
    static constexpr unsigned leftButton = akLeft | akBottom;
    static constexpr unsigned rightButton = akRight | akBottom;
    static constexpr unsigned speedBar = akLeft | akRight | akBottom;
    static constexpr unsigned thumbColumn = akTop | akRight | akBottom;
    static constexpr unsigned picPanel = akAll;
};

// The children of a control of this size as its constructor places them; speedLabelWidth is
// the width of the caption "Play speed :".
SlideShowLayout InitialLayout(const QSize& size, bool reduced, int speedLabelWidth);

struct ResizeInput {
    int width = 0;                // the control's width
    bool thumbsOverflow = false;  // the thumbnails are taller than the column's client area
    int scrollBarWidth = 0;
    bool fullScreen = false;  // the picture panel is elsewhere: its width is left alone
};
// The moves made when a loaded, unreduced control is resized.
void ResizeLayout(SlideShowLayout& layout, const ResizeInput& input);

}  // namespace slideshow
