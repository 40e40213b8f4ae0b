#include "app/SlideShow/SlideShowLayout.h"

namespace slideshow {

namespace {

Bounds Button(int left, int top, int width = kButtonWidth) {
    return {left, top, width, kButtonHeight};
}

void PlaceTransport(SlideShowLayout& l, int topRow, int speedLabelWidth) {
    l.prevButton = Button(5, topRow);
    l.playButton = Button(l.prevButton.Right() + 4, topRow, kPlayButtonWidth);
    l.nextButton = Button(l.playButton.Right() + 4, topRow);
    l.speedLabel = {l.nextButton.Right() + 8, topRow, speedLabelWidth, kButtonHeight};
}

void PlaceTurnButtons(SlideShowLayout& l, int rotateLeft, int topRow) {
    l.rotateLeftButton = Button(rotateLeft, topRow);
    l.rotateRightButton = Button(l.rotateLeftButton.Right() + 4, topRow);
    l.fullScreenButton = Button(l.rotateRightButton.Right() + 4, topRow);
}

void PlaceOrderButtons(SlideShowLayout& l, int moveUpLeft, int topRow) {
    l.moveUpButton = Button(moveUpLeft, topRow);
    l.moveDownButton = Button(l.moveUpButton.Right() + 4, topRow);
    l.zOrderButton = Button(l.moveDownButton.Right() + 4, topRow);
}

}  // namespace

SlideShowLayout InitialLayout(const QSize& size, bool reduced, int speedLabelWidth) {
    const int w = size.width();
    const int h = size.height();
    SlideShowLayout l;
    l.bottomBevel = {1, h - 26, w - 3, 2};
    const int topRow = l.bottomBevel.top + 3;
    PlaceTransport(l, topRow, speedLabelWidth);
    PlaceTurnButtons(l, w - 85 - (reduced ? 0 : 118), topRow);
    l.speedBar = {l.speedLabel.Right(), topRow, 0, kButtonHeight};
    l.speedBar.width = l.rotateLeftButton.left - l.speedBar.left - 4;
    if (!reduced) {
        l.thumbBevel = {w - kThumbColumnWidth, 1, 2, h - 3};
        l.thumbBox = {l.thumbBevel.left + 3, 2, 0, h - 30};
        l.thumbBox.width = w - l.thumbBox.left - 3;
        PlaceOrderButtons(l, l.thumbBevel.Right() + 6, topRow);
        l.deleteButton = Button(w - 31, topRow);
    }
    const int panelWidth = reduced ? w - 4 : l.thumbBevel.left - 1;
    l.picPanel = {2, 2, panelWidth, l.bottomBevel.top - 2};
    return l;
}

void ResizeLayout(SlideShowLayout& l, const ResizeInput& input) {
    l.thumbBevel.left = input.width - kThumbColumnWidth;
    if (input.thumbsOverflow) {
        l.thumbBevel.left -= input.scrollBarWidth + 1;
    }
    if (!input.fullScreen) {
        l.picPanel.width = l.thumbBevel.left - 2;
    }
    l.thumbBox.left = l.thumbBevel.left + 3;
    l.thumbBox.width = input.width - l.thumbBox.left - 3;
    PlaceOrderButtons(l, l.thumbBevel.left + 7, l.moveUpButton.top);
    PlaceTurnButtons(l, l.thumbBevel.left - 84, l.rotateLeftButton.top);
    l.speedBar.width = l.rotateLeftButton.left - l.speedBar.left - 4;
}

}  // namespace slideshow
