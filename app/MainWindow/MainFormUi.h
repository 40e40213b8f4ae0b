#pragma once
// The main window's controls as designed: built once, at their design sizes and
// positions, with their texts, hints, alignments and anchors. The window's behaviour
// lives in the classes built on this one (TMainLayout, TMainForm).

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>

#include "Components/PkgFolder/FolderTree.h"
#include "app/MainWindow/ListView.h"
#include "app/MainWindow/Panel.h"
#include "app/MainWindow/Splitter.h"

class TMainFormUi {
  public:
    // Top bar.
    TPanel* MainPanel = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* FolderEdit = nullptr;
    QToolButton* DefFolderButton = nullptr;
    QToolButton* ConfigButton = nullptr;
    QToolButton* AboutButton = nullptr;
    QToolButton* HelpButton = nullptr;
    QFrame* Horz1Bevel = nullptr;
    QFrame* Horz2Bevel = nullptr;
    QFrame* Vert2Bevel = nullptr;
    QFrame* Vert3Bevel = nullptr;

    // The split area.
    TPanel* MainSplit = nullptr;
    TPanel* MainLeft = nullptr;
    TPanel* LeftTopPnl = nullptr;
    TFolderTree* DirTree = nullptr;
    TSplitter* SplitH = nullptr;
    TPanel* LeftBottomPnl = nullptr;
    QImage EmptyImage;  // the placeholder thumbnail
    TSplitter* SplitV = nullptr;
    TPanel* MainRight = nullptr;
    TPanel* MainListPnl = nullptr;
    TPanel* FilesPnl = nullptr;
    TListView* FilesLV = nullptr;
    TSplitter* SplitList = nullptr;
    TPanel* SelectedPnl = nullptr;
    TListView* SelectedLV = nullptr;
    TPanel* RightBottomPnl = nullptr;
    QLabel* TotalFilesLabel = nullptr;
    QLabel* TotalSelectedLabel = nullptr;

    // Bottom bar.
    QSlider* OptiTrackBar = nullptr;
    QToolButton* PreviewButton = nullptr;
    QToolButton* SaveButton = nullptr;
    QToolButton* SelectAllButton = nullptr;
    QToolButton* AddButton = nullptr;
    QToolButton* DeleteButton = nullptr;
    QToolButton* ClearButton = nullptr;

    QStatusBar* MainStatusBar = nullptr;
    // The status bar shows the hint of the control under the mouse while this is on.
    bool AutoHint = true;

    // Context menus.
    QMenu* FilesCntx = nullptr;
    QAction* AddItem = nullptr;
    QAction* Addall1 = nullptr;
    QAction* SelectAllItem = nullptr;
    QMenu* SelectedCntx = nullptr;
    QAction* MakeUpItem = nullptr;
    QAction* MakeDownItem = nullptr;
    QAction* MakeFirstItem = nullptr;
    QAction* DeleteItem = nullptr;
    QAction* ClearAllItem = nullptr;

  protected:
    void BuildUi(QMainWindow* form);

  private:
    void BuildTopBar();
    void BuildSplitArea();
    void BuildLeftColumn();
    void BuildLists();
    void BuildBottomBar();
    void BuildMenus(QWidget* form);
};

// A control's hint: shown as its tooltip and, while AutoHint is on, in the status bar.
void SetHint(QWidget* control, const QString& hint);
