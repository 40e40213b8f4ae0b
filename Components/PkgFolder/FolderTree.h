#pragma once
// TFolderTree: the shell folder tree control. A tree view over the namespace (desktop,
// home, computer and drives, their folders and optionally files) with a delayed selection
// event, lazy population on a worker thread, label editing (rename on disk), lookups by
// identifier or path and navigation by path. UI thread only; the population worker never
// touches the widget (its results come back as queued calls with a generation).

#include "Components/PkgFolder/FolderPopulation.h"
#include "Components/PkgFolder/FolderTreeModel.h"
#include "Components/PkgFolder/IconCache.h"
#include "Components/PkgFolder/ItemWatches.h"
#include "Components/PkgFolder/PopulationWorker.h"
#include "Components/PkgFolder/RefreshWorker.h"
#include "Components/PkgFolder/ShellWrappers.h"
#include "Components/PkgFolder/Watcher.h"
#include "platform/MountMonitor.h"

#include <QIcon>
#include <QString>
#include <QTimer>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CShellContextMenu;
class ExpansionAnimation;
class QMenu;

class TFolderTree : public QTreeView {
    Q_OBJECT
    Q_PROPERTY(QString DefPath READ GetFolder WRITE SelectFolder)
    Q_PROPERTY(bool HiddenFolders READ HiddenFolders WRITE SetHideFolders)
    Q_PROPERTY(bool SysFolders READ SysFolders WRITE SetSysFolders)
    Q_PROPERTY(bool ShowFiles READ ShowFiles WRITE SetFiles)
    Q_PROPERTY(QString FilterExt READ FilterExt WRITE SetFilterExt)
    Q_PROPERTY(int ChangeDelay READ ChangeDelay WRITE SetDelay)
    Q_PROPERTY(bool ExplorerMenu READ ExplorerMenu WRITE SetExplorerMenu)
    Q_PROPERTY(QString RootDir READ RootDir WRITE DoSetRoot)
    Q_PROPERTY(bool Animation READ Animation WRITE SetAnimation)

  public:
    enum TFormBorderStyle { bsNone, bsSingle };
    enum TDragMode { dmManual, dmAutomatic };

    // `space` is the namespace shown; tests give one over fixture folders.
    explicit TFolderTree(QWidget* parent = nullptr,
                         SNamespacePtr space = platform::ShellNamespace::System());
    ~TFolderTree() override;

    // Navigation.
    QString GetFolder() const;
    void SelectFolder(const QString& path);

    // Properties.
    bool HiddenFolders() const { return hiddenFolders_; }
    void SetHideFolders(bool value);
    bool SysFolders() const { return sysFolders_; }
    void SetSysFolders(bool value);
    bool ShowFiles() const { return showFiles_; }
    void SetFiles(bool value);
    QString FilterExt() const { return filterExt_; }
    void SetFilterExt(const QString& value);
    int ChangeDelay() const { return changeDelay_; }
    void SetDelay(int value);
    bool ExplorerMenu() const { return explorerMenu_; }
    void SetExplorerMenu(bool value) { explorerMenu_ = value; }
    QString RootDir() const { return rootDir_; }
    void DoSetRoot(const QString& path);
    bool Animation() const { return animation_; }
    void SetAnimation(bool value) { animation_ = value; }
    // The placeholder's text and the icon drawn in its icon place while a folder is read
    // (none: the background).
    void SetWaitMessage(const QString& text, const QIcon& icon = QIcon()) {
        waitMessage_ = text;
        waitIcon_ = icon;
    }
    // How often the wait icon turns; 0: it turns only as items arrive.
    void SetAnimationDelay(int ms) { animationDelay_ = ms; }

    // Style properties, each mapped onto the view.
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle value);
    bool ShowLines() const { return showLines_; }
    void SetLineStyle(bool value) { showLines_ = value; }  // Qt styles draw no branch lines
    bool ShowRoot() const { return showRoot_; }
    void SetRootStyle(bool value);
    bool ShowButtons() const { return showButtons_; }
    void SetButtonStyle(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value);
    bool ToolTips() const { return toolTips_; }
    void SetToolTips(bool value);
    bool AutoExpand() const { return autoExpand_; }
    void SetAutoExpand(bool value) { autoExpand_ = value; }
    bool HotTrack() const { return hotTrack_; }
    void SetHotTrack(bool value);
    bool RowSelect() const { return rowSelect_; }
    void SetRowSelect(bool value);
    bool RightClickSelect() const { return rightClickSelect_; }
    void SetRightClickSelect(bool value) { rightClickSelect_ = value; }
    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode value);

    // Drag and drop (FolderTreeDrag.cpp). The drop target is the item with the drop
    // highlight, or the one remembered while the mouse is outside the tree.
    enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
    HTREEITEM GetDropTarget() const;
    void SetDropTarget(HTREEITEM item);
    QString GetDropPath() const;

    // Items.
    TVITEMDATA* GetItemData(HTREEITEM item) const;
    CShellPidl GetItemIDList(HTREEITEM item) const;
    QString GetItemText(HTREEITEM item) const;
    int GetCount() const;
    HTREEITEM GetSelected() const;
    void SetSelected(HTREEITEM item);
    HTREEITEM GetNodeAt(int x, int y) const;
    // The rows on screen, top first, each with where its top lies in the viewport (the
    // first may start above it).
    struct ScreenRow {
        HTREEITEM item = 0;
        int top = 0;
    };
    std::vector<ScreenRow> ScreenRows() const;
    // Scrolls so that the first of `rows` that is still shown lies where it lay; the rows
    // above it may have changed meanwhile.
    void KeepRowsInPlace(const std::vector<ScreenRow>& rows);
    HTREEITEM GetRootItem() const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetFirstChild(HTREEITEM item) const;
    HTREEITEM GetNextSibling(HTREEITEM item) const;
    bool IsItemExpanded(HTREEITEM item) const;
    bool IsExpandedOnce(HTREEITEM item) const;
    // Whether the item shows an expand button (works it out on the spot when the folder's
    // read has not told it yet: for menus and tests, never while drawing).
    bool HasChildButton(HTREEITEM item);
    // Expands an item, reading its children on the spot when it has none yet.
    void ExpandItemNow(HTREEITEM item);
    // Whether a folder is being read on the worker (commands wait for it to end).
    bool IsPopulating() const { return populating_ > 0; }
    PopulationWorker& Populator() { return *worker_; }
    int GetPopulationCount(int* total = nullptr) const;

    // Population.
    void Init();
    void AddRootFolderContent(const platform::ItemIdList& pidl, unsigned flags);
    HTREEITEM AddRootItem(const platform::ItemIdList& pidl, unsigned flags);
    HTREEITEM InsertSubItem(HTREEITEM parent, const SShellFolderPtr& folder,
                            const platform::ItemIdList& parentPidl,
                            const platform::ItemIdList& relativePidl, unsigned flags);
    virtual bool WantsRefresh(HTREEITEM item);
    virtual bool PopulateItem(HTREEITEM item);
    bool EnumFolderItems(HTREEITEM parent, const platform::ItemIdList& folderPidl, unsigned flags);
    bool IsNotEmpty(const std::string& path) const;
    static int CompareFunc(const TVITEMDATA* data1, const TVITEMDATA* data2);
    bool NeedsChildren(HTREEITEM item) const;
    void DeleteChildren(HTREEITEM item);

    // Identifier helpers and item lookup.
    static std::size_t SFGetPidlSize(const platform::ItemIdList& pidl);
    static platform::ItemIdList SFPidlCpy(const platform::ItemIdList& pidl);
    static platform::ItemIdList SFPidlCat(const platform::ItemIdList& first,
                                          const platform::ItemIdList& second);
    static platform::ItemIdList SFPidlCatOnlyOne(const platform::ItemIdList& first,
                                                 const platform::ItemIdList& second);
    platform::ItemIdList SFGetTreeItemPidl(HTREEITEM item) const;
    HTREEITEM SFFindTreeItem(const platform::ItemIdList& pidl);
    HTREEITEM SFFindItem(const platform::ItemIdList& pidl) const;
    HTREEITEM SFindItem(HTREEITEM parent, const SShellFolderPtr& folder,
                        const platform::ItemIdList& parentPidl,
                        const platform::ItemIdList& childPidl) const;
    HTREEITEM SFindNoRoot(CShellPidl pidl);

    const platform::ShellNamespace& Namespace() const { return *space_; }

    // Context menu (ExplorerMenu, FolderTreeMenu.cpp): the menu for an item, the commands
    // of its entries, and the default verb of a file.
    void BuildContextMenu(HTREEITEM item, QMenu& menu);
    void OnShellCommand(unsigned id);
    void OnDefaultHandler(HTREEITEM item);
    // The item a context-menu event names and where the menu opens (viewport coordinates):
    // at the mouse, or from the keyboard at the bottom-left corner of the item's text.
    HTREEITEM ContextMenuItem(const QContextMenuEvent& event, QPoint& at);
    // Where the row of `index` draws its text (viewport coordinates).
    QRect ItemTextRect(const QModelIndex& index) const;
    // The item's file-system path (empty for virtual items) and whether it is a file.
    QString ItemPath(HTREEITEM item) const;
    bool IsFileItem(HTREEITEM item) const;
    // Following changes on disk (FolderTreeRefresh.cpp).
    static constexpr int kBatchDelayMs = 2000;  // a pass starts this long after the last report
    static constexpr int kWatchDelayMs = 2000;  // the watcher's settle window
    // The watcher's handler: any thread. Collects `path` for the next pass.
    void OnFolderChange(const std::string& path);
    // The batch timer's handler: snapshots what was reported and hands it to the refresh
    // thread. Public so tests can run a pass without waiting for the timer.
    void OnChangeFollowTimer();
    const QTimer& ChangeFollowTimer() const { return followTimer_; }
    // RefreshDir: refreshes the expanded part below `path` now, on this thread.
    void DoRefreshDir(const QString& path);
    // Adds the children of an expanded item that it does not show yet.
    bool PopulateNewItem(HTREEITEM item);
    TWatcher& Watcher() { return *watcher_; }
    RefreshWorker& Refresher() { return *refresher_; }
    // The inotify watches the tree may hold, its roots included (FolderTreeWatches.cpp):
    // a share of the per-user limit by default; tests lower it.
    void SetWatchBudget(int watches);

    // Drives and device changes (FolderTreeDevices.cpp). The mount-table monitor reports
    // drives that came and went; network drives change the tree at once, media (and other
    // local drives) once the drive timer has run, the last event of each drive counting.
    enum class DeviceEvent { Arrival = 0x8000, RemoveComplete = 0x8004 };
    static constexpr int kDriveDelayMs = 7000;
    void OnDeviceChange(DeviceEvent event, const platform::Volume& drive);
    void OnDriveRefresh();  // the drive timer's handler
    const QTimer& DriveTimer() const { return driveTimer_; }

  signals:
    void OnChanging(TFolderTree* sender, HTREEITEM item);
    void OnChange(TFolderTree* sender, HTREEITEM item);
    void OnExpanding(TFolderTree* sender, HTREEITEM item);
    void OnExpanded(TFolderTree* sender, HTREEITEM item);
    void OnDblClick(TFolderTree* sender);
    // A drag over the tree (x, y in viewport coordinates); a receiver sets accept to take
    // drops there. Without one nothing is accepted.
    void OnDragOver(TFolderTree* sender, QObject* source, int x, int y, int state, bool& accept);
    void OnDragDrop(TFolderTree* sender, QObject* source, int x, int y);

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

  private:
    void ToggleFromMenu(HTREEITEM item);
    static bool IsContextMenuKey(const QKeyEvent& event);
    static constexpr int kProgressFrameMs = 16;  // the count is drawn at most once a frame
    void StartExpansionAnimation(HTREEITEM placeholder);
    void OnPopulationProgress();
    void AskForProgress();
    bool Animating() const;
    void DoDragOver(QDropEvent* event, TDragState state);

    // Set-up and Qt wiring (FolderTree.cpp).
    void ConnectView();
    void ApplyStyleSheet();
    void OnTreeInit();
    PopulationOptions OptionsFor(unsigned itemFlags) const;
    unsigned CurrentItemFlags() const;
    void Rebuild(bool filesChanged);
    // Runs `command` now, or after the folder being read has been filled in.
    void RunWhenIdle(std::function<void()> command);
    void RunDeferredCommands();
    void DeleteAllItems();

    // Selection, expansion, rename, refresh (FolderTreeNotify.cpp).
    void OnCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void OnChangeTimer();
    bool ProbeDrive(const TreeNode& node) const;
    void OnViewExpanded(const QModelIndex& index);
    void OnViewCollapsed(const QModelIndex& index);
    void PreExpandItem(TreeNode* node);
    void StartPopulation(TreeNode* node);
    void CancelPopulation(TreeNode* node);
    void OnPopulationResult(const std::shared_ptr<PopulationWorker::Result>& result);
    bool IsRenamedSinceRead(const TreeNode& node, const PopulationWorker::Result& result) const;
    void AdoptChildren(TreeNode* node, PopulationOutcome outcome, bool fixedDrive);
    bool CanEditLabel(const TreeNode* node) const;
    bool OnEndLabelEdit(TreeNode& node, const QString& text);
    void RebaseDescendants(TreeNode* node);
    void RefreshAll();
    void OnSelectFolder();
    void SortChildrenOf(TreeNode* parent);

    // Drawing data and children buttons (FolderTreePopulate.cpp).
    bool ProbeChildren(TreeNode& node) const;
    void ApplyButtons(const PopulationWorker::Result& result);
    QIcon ItemIcon(const TreeNode& node);
    bool IsOnFixedDrive(const TreeNode& node) const;
    unsigned EnumerationFlagsOf(const TreeNode& node) const;

    // Following changes on disk (FolderTreeRefresh.cpp).
    void PauseWatching();
    void ResumeWatching();
    void WatchDrives();
    void SetUpChangeFollowing();
    void StopChangeFollowing();
    void OnFollowWake();
    void RestartFollowTimer();
    std::string ItemPath(const TreeNode& node) const;
    RefreshBatch TakeSnapshot(const std::vector<std::string>& roots) const;
    void CollectRefreshFolders(const TreeNode& node, bool read,
                               const std::vector<std::string>& roots, RefreshBatch& batch) const;
    RefreshFolder SnapshotOf(const TreeNode& node, const std::string& path, bool read) const;
    void ApplyRefresh(RefreshResult& result);
    void ApplyChange(RefreshChange& change);
    // True when every child went and the folder was collapsed to be read anew (only when
    // `collapseWhenEmptied`).
    bool RemoveGoneChildren(TreeNode* node, const std::vector<std::string>& removed,
                            bool collapseWhenEmptied);
    void SetButton(TreeNode* node, const TreeNode::WorkedOutButton& button);
    void SetButtons(TreeNode* node,
                    const std::vector<std::pair<std::string, TreeNode::WorkedOutButton>>& buttons);
    void InsertSorted(TreeNode* node, std::vector<std::unique_ptr<TreeNode>> added);
    void DeleteRefreshedItem(TreeNode* node);
    void CollapseReset(TreeNode* node);

    // Which folders are watched (FolderTreeWatches.cpp).
    void SetUpWatches();
    void TrackExpansion(const QModelIndex& index, bool expanded);
    void ForgetItem(const TreeNode& node);
    void ScheduleWatchUpdate();
    void UpdateWatches();
    bool IsShownExpanded(const TreeNode& node) const;

    // Drives (FolderTreeDevices.cpp).
    void StartMountMonitor();
    void OnMountTableChanged();
    // The drive mounted on `root` now, by the current mount table.
    std::optional<platform::Volume> MountedDrive(const std::string& root) const;
    void FollowDriveAnew(const std::string& root, platform::DriveType type);
    HTREEITEM FindComputerItem();
    HTREEITEM FindDriveItem(HTREEITEM computer, const std::string& root) const;
    void RemoveDriveItem(HTREEITEM item);
    void DriveArrived(HTREEITEM computer, const std::string& root);
    void DriveRemoved(HTREEITEM computer, const std::string& root);

    SNamespacePtr space_;
    FolderTreeModel* model_;
    IconCache icons_;
    std::unique_ptr<PopulationWorker> worker_;
    std::uint64_t generation_ = 1;
    int populating_ = 0;  // reads on the worker whose result is awaited
    std::map<HTREEITEM, PopulationWorker::CancelFlag> reads_;  // those reads, by folder
    std::vector<std::function<void()>> deferred_;

    QTimer changeTimer_;
    HTREEITEM savedNew_ = 0;
    HTREEITEM savedOld_ = 0;
    HTREEITEM hitItem_ = 0;
    std::unique_ptr<CShellContextMenu> shellMenu_;
    std::unique_ptr<ExpansionAnimation> animator_;
    int animationDelay_ = 125;
    int progressShown_ = 0;  // the count of items read that the wait bar drew last
    HTREEITEM dropHighlight_ = 0;
    HTREEITEM rememberedDropTarget_ = 0;
    bool clearing_ = false;
    bool quietExpansion_ = false;
    bool doubleClicked_ = false;
    bool windowCreated_ = false;
    bool singleRoot_ = false;  // built around an existing RootDir (not the desktop)

    QString currentFolder_;
    QString pendingPath_;
    QString waitMessage_ = QStringLiteral("Loading....");
    QIcon waitIcon_;

    bool hiddenFolders_ = true;
    bool sysFolders_ = true;
    bool showFiles_ = true;
    QString filterExt_;
    int changeDelay_ = 400;
    bool explorerMenu_ = false;
    QString rootDir_;
    bool animation_ = false;
    TFormBorderStyle borderStyle_ = bsSingle;
    bool showLines_ = true;
    bool showRoot_ = true;
    bool showButtons_ = true;
    bool readOnly_ = false;
    bool hideSelection_ = true;
    bool toolTips_ = true;
    bool autoExpand_ = false;
    bool hotTrack_ = false;
    bool rowSelect_ = false;
    bool rightClickSelect_ = false;
    TDragMode dragMode_ = dmManual;

    // Following changes on disk: reports collected from the watch threads, the batch timer,
    // the refresh thread, the watcher and the directories it watches for the items.
    std::mutex pendingMutex_;
    std::vector<std::string> pendingChanges_;
    QTimer followTimer_;
    bool followDeferred_ = false;  // a pass waits for a label edit to end
    std::unique_ptr<platform::UiWaker> followWaker_;
    std::unique_ptr<RefreshWorker> refresher_;
    std::unique_ptr<TWatcher> watcher_;
    std::unique_ptr<ItemWatches> watches_;
    std::set<HTREEITEM> expandedItems_;  // as the view says, ancestors collapsed or not
    QTimer watchUpdateTimer_;

    // Drives: media events waiting for the drive timer, one per drive root.
    QTimer driveTimer_;
    std::map<std::string, DeviceEvent> pendingDrives_;
    std::unique_ptr<platform::MountMonitor> mountMonitor_;
    std::vector<platform::Volume> knownDrives_;
};
