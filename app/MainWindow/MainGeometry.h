#pragma once
// The main window's geometry rules as pure functions: the clamps applied to a stored
// window and to stored splitter positions, the proportional resize of the panels, the
// splitter limits and the placement of the bottom bar. The form feeds them the current
// sizes of its panels and applies the results; keeping them free of widgets lets every
// rule be checked with plain numbers.
//
// Divisions by 2 truncate toward zero and the factor two thirds is a floating value, as
// the window has always done; the proportional rules compute in single precision.

#include <QRect>
#include <optional>
#include <vector>

#include "platform/ScreenFit.h"

namespace mainwin {

// Smallest outer size the window accepts.
inline constexpr int kMinFormWidth = 610;
inline constexpr int kMinFormHeight = 445;

// The window as stored in [Window]: outer frame, position of its top-left corner.
using StoredWindow = platform::WindowFrame;

// Right and bottom coordinates the way the work area reports them: one past the last pixel.
inline int RightOf(const QRect& r) {
    return r.x() + r.width();
}
inline int BottomOf(const QRect& r) {
    return r.y() + r.height();
}

// A stored value may be any int (the INI is the user's to edit). Before any rule does
// arithmetic with it, each is clamped into a range that reaches one screen extent beyond
// every screen on each side: a size into [-extent, 2 x extent], a position into
// [start - extent, end + extent] of the screens' bounding box on its axis.
int LimitStoredSize(int value, int extent);
StoredWindow LimitToScreens(StoredWindow window, const QRect& screens);

// The clamps of a normal (not maximised) stored window against the work area, in their
// historical order: too wide or too high shrinks to the work area's right or bottom
// coordinate; Left below -4 becomes 0; a Top at or below the bottom coordinate becomes
// bottom - Top; then a Top below -4 becomes 0.
StoredWindow ClampStoredWindow(StoredWindow window, const QRect& workArea);

// Where a normal window opens from the stored values, given every screen's work area (the
// primary one first): each value is limited to the screens' reach, the size raised to the
// window's minimum, the historical clamps applied against the primary work area, and the
// frame then fitted onto the screen that holds most of it (platform::FitOnScreen). The
// minimum comes before any position is clamped, so a tiny stored size cannot place the
// grown window past the screen's edge.
StoredWindow PlaceStoredWindow(StoredWindow stored, const std::vector<QRect>& workAreas);

// Stored splitter positions, read once when the window is shown. A value of 0 means "no
// stored layout" and gives the default one.
int TreeHeightForStored(int storedSplitH, int leftHeight);
int LeftWidthForStored(int storedSplitV, int splitWidth, int leftReserve);
int FilesWidthForStored(int storedSplitList, int listPanelWidth, int seriesReserve,
                        int splitListWidth);

// Proportional resizing. Each returns the new size, or nothing when the snapshot it
// scales from has not been taken (a 0 in it).
std::optional<int> ProportionalLeftWidth(int splitWidth, int oldSplitWidth, int oldLeftWidth,
                                         int leftReserve);
std::optional<int> ProportionalTreeHeight(int leftHeight, int oldLeftHeight, int oldTreeHeight);
// The tree panel always stays between half and two thirds of the left column.
int ClampTreeHeight(int treeHeight, int leftHeight);
std::optional<int> ProportionalFilesWidth(int rightWidth, int oldRightWidth, int oldFilesWidth,
                                          int lowerBound, int upperBound);

// Splitter limits: the size a drag proposes is taken only when these accept it.
bool AcceptTreeHeight(int newSize, int leftHeight);
bool AcceptLeftWidth(int newSize, int splitWidth, int leftReserve);
bool AcceptFilesWidth(int newSize, int listPanelWidth, int seriesReserve);

// Width of a list's single column: the list's width less a margin and, when not every
// row fits, less the vertical scroll bar.
int ListColumnWidth(int listWidth, int margin, int visibleRows, int itemCount, int scrollBarWidth);

// Inputs and results of the bottom bar's arrangement (coordinates of the main panel
// for the buttons, of the lists' bottom panel for the labels).
struct BottomBarInput {
    int vert2BevelLeft = 0;
    int saveWidth = 0;
    int previewWidth = 0;
    int mainListLeft = 0;
    int filesLeft = 0;
    int filesWidth = 0;
    int selectedLeft = 0;
    int selectedWidth = 0;
    int selectedListWidth = 0;
    int mainRightLeft = 0;
    int selectAllWidth = 0;
    int addWidth = 0;
    int deleteWidth = 0;
    int clearWidth = 0;
};

struct BottomBarLayout {
    // Step 1: the preview side of the bar.
    int saveLeft = 0;
    int previewLeft = 0;
    int trackBarWidth = 0;
    // Step 2: the count labels under the lists.
    int filesLabelLeft = 0;
    int filesLabelWidth = 0;
    int selectedLabelLeft = 0;
    int selectedLabelWidth = 0;
    // Steps 3 and 4: the list buttons centred under their lists.
    int selectAllLeft = 0;
    int addLeft = 0;
    int deleteLeft = 0;
    int clearLeft = 0;
};

BottomBarLayout ArrangeBottomBarLayout(const BottomBarInput& in);

}  // namespace mainwin
