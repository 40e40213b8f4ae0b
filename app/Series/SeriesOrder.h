#pragma once
// The rules by which the series changes its order: a step up or down with wrap-around at
// both ends, bringing a picture to the front while keeping the cyclic order, sorting by
// path, and the results of the drags between and within the two lists. They work on
// plain lists of paths and indices; the main window applies the result to its series
// list and selects the index they return. Keeping them apart from the widgets lets the
// rules be checked on their own and keeps the list view and the paths in step.

#include <QList>
#include <QString>
#include <QStringList>

// Each function takes the index of the selected picture (-1: none) and returns the index
// to select afterwards (-1: nothing changed and nothing is to be selected).

// Ctrl+Up: swaps the picture with the one before it; the first one goes to the end, the
// others moving up by one.
int MoveUp(QStringList& series, int selected);

// Ctrl+Down: swaps the picture with the one after it; the last one goes to the front, the
// others moving down by one.
int MoveDown(QStringList& series, int selected);

// Make first: the series turns round until the selected picture comes first; the cyclic
// order stays. Returns 0, or -1 when nothing is selected.
int MakeFirst(QStringList& series, int selected);

// Picture number first (1-based) comes first, the cyclic order kept; numbers outside the
// series (0 among them) leave it as it is.
void RotateToPicture(QStringList& series, int first);

// Sort by full path ignoring letter case (ties in byte order, so the result does not
// depend on the order before). Returns the new index of the picture that was selected,
// or 0 when none was (or the series is empty: -1).
int SortSeries(QStringList& series, int selected);

// Pictures dropped from the file list onto the series: the paths of the dropped names
// (in file-list order) are inserted after the series item they were dropped on, or at the
// front when they were dropped on empty space (target -1). Returns the index to select:
// the first dropped picture.
int DropFilesOnSeries(QStringList& series, int target, const QString& folder,
                      const QStringList& names);

// Pictures dragged within the series onto the picture at target: they move as one block,
// in their order, to the target's place: after it when the drag went down the list (the
// first selected picture lies before the target), before it otherwise. Returns the
// target's index, where the moved block now ends (down) or starts (up). A target that is
// itself selected changes nothing and gives the target; no target (-1) gives -1.
int MoveWithinSeries(QStringList& series, QList<int> selected, int target);

// Pictures dragged out of the series back onto the file list.
struct TDragOutResult {
    QStringList removed;  // the removed paths, in series order
    QStringList putBack;  // the names of those that lie in the current folder
    bool seriesEmptied = false;
};

// Removes the selected pictures. Every path is read before its entry goes, and entries
// go from the last to the first so that the indices stay valid. A picture lies in the
// current folder when its folder equals currentFolder exactly (names are
// case-sensitive).
TDragOutResult DragOutOfSeries(QStringList& series, QList<int> selected,
                               const QString& currentFolder);

// Where a drag may end. The file list refuses its own items (that drag means nothing);
// the series takes items from either list.
enum class TDragSource { FileList, SeriesList, Other };
bool FileListAcceptsDrop(TDragSource source);
bool SeriesListAcceptsDrop(TDragSource source);

// The questions asked before a sort and before pictures dragged out of the series are
// removed; true on Yes.
bool AskSortSeries();
bool AskRemoveDraggedPictures();
