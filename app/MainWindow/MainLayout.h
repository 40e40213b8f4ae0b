#pragma once
// The main window's geometry: the [Window] and [Spliters] settings read when the window is
// shown and written when it closes, the proportional resizing of its panels, the splitter
// limits and the bottom bar that follows the two lists. The rules themselves are the pure
// functions of MainGeometry.h; this class feeds them the panels' sizes.
//
// The stored Width and Height are the window's outer frame, and the stored Left and Top its
// frame's corner, both when reading and writing, so that a window does not creep by its
// frame on every start.

#include <QMainWindow>
#include <QMargins>

#include "app/MainWindow/MainFormUi.h"
#include "app/MainWindow/MainGeometry.h"

class TMainLayout : public TMainFormUi {
  public:
    // Shared steps.
    void FitListColumn(TListView* list, int margin);
    void ArrangeBottomBar();
    // Steps 2 to 4 only (the file list's splitter moved).
    void ArrangeLists();
    int LeftReserve() const;
    int SeriesReserve() const;
    // Where a normal window goes, as read from [Window] and clamped.
    const mainwin::StoredWindow& NormalPlacement() const { return normal_; }

    // Resize handlers, run after the panel has placed its children.
    void FormResize();
    void MainPanelResize();
    void MainSplitResize();
    void MainLeftResize();
    void MainRightResize();
    void MainListPnlResize();

    // Splitters.
    void SplitHCanResize(int& newSize, bool& accept);
    void SplitVCanResize(int& newSize, bool& accept);
    void SplitListCanResize(int& newSize, bool& accept);
    void SplitHMoved();
    void SplitVMoved();
    void SplitListMoved();

  protected:
    // Hooks the handlers to the panels and splitters.
    void ConnectLayout();

    // FormShow: reads [Window] and [Spliters] and sizes the window and its panels, still
    // hidden (steps 2 to 5). ShowWindow then places the splitters (steps 8 to 10), takes
    // the size snapshot and shows the window (steps 12 and 13).
    void ReadWindowSettings(QMainWindow* form);
    void PlaceStoredSplitters();
    void TakeSizeSnapshot();
    void ShowWindow(QMainWindow* form);
    // After the window system has put its frame around the window: the outer size read
    // from the settings is made the frame's size, and the minimum size follows. While the
    // new window settles, a size the window system gives lays the stored splitters out
    // again for that size (the program's own resizing does not count).
    void FitFrame(QMainWindow* form, bool fromWindowSystem);
    // FormClose, steps 1 and 2.
    void WriteWindowSettings(QMainWindow* form);

    int OldLeftHeight = 0;
    int OldTreeHeight = 0;
    int OldRightWidth = 0;
    int OldFilesWidth = 0;
    int OldSplitWidth = 0;
    int OldLeftWidth = 0;
    bool FormShown = false;
    int SavedSplitH = 0;
    int SavedSplitV = 0;
    int SavedSplitList = 0;

  private:
    void SizeClientArea(QMainWindow* form, QSize outer);
    void ApplyBottomBarStep1(const mainwin::BottomBarLayout& layout);
    void ApplyBottomBarLists(const mainwin::BottomBarLayout& layout);
    mainwin::BottomBarInput BottomBarInputs() const;

    bool maximised_ = true;
    bool settling_ = false;
    QSize placedFor_;
    mainwin::StoredWindow normal_;
    QMargins frameSeen_;
};
