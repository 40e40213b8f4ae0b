// The main window's changes of the series order: the reorder keys and menu entries, the
// sort, and the drags between and within the two lists. The order rules themselves are
// the pure functions of SeriesOrder.h; here they are applied to the lists.

#include <QDropEvent>

#include "app/MainWindow/FormHelpers.h"
#include "app/MainWindow/MainForm.h"
#include "app/Series/SeriesOrder.h"
#include "platform/CursorGuard.h"
#include "platform/Paths.h"

namespace {

const QColor kDropGaugeBar(0x00, 0x00, 0xff);

// Clears the flag on every way out, so the series list's handlers always wake up again.
class ReorderScope {
  public:
    ReorderScope() { ReorderBusy = true; }
    ~ReorderScope() { ReorderBusy = false; }
    ReorderScope(const ReorderScope&) = delete;
    ReorderScope& operator=(const ReorderScope&) = delete;
};

QList<int> SelectedIndices(const TListView* list) {
    QList<int> indices;
    for (int i = 0; i < list->Count(); ++i) {
        if (list->IsSelected(i)) {
            indices.append(i);
        }
    }
    return indices;
}

int DropTarget(const TListView* list, const QDropEvent* event) {
    return list->ItemAt(event->position().toPoint());
}

}  // namespace

void TMainForm::ConnectDrags() {
    FilesLV->OnDragOver = [this](const QDropEvent* e) { return FilesLVDragOver(e); };
    SelectedLV->OnDragOver = [this](const QDropEvent* e) { return SelectedLVDragOver(e); };
    FilesLV->OnDragDrop = [this](const QDropEvent* e) {
        platform::GuardSlot([&] { FilesLVDragDrop(e); });
    };
    SelectedLV->OnDragDrop = [this](const QDropEvent* e) {
        platform::GuardSlot([&] { SelectedLVDragDrop(e); });
    };
}

void TMainForm::RebuildSeriesList() {
    SelectedLV->BeginUpdate();
    SelectedLV->ClearItems();
    for (const QString& path : SelectedFiles) {
        SelectedLV->AddItem(platform::FileNamePart(path));
    }
    SelectedLV->EndUpdate();
    FitListColumn(SelectedLV, 4);
}

// ---------------------------------------------------------------- keys and menu

void TMainForm::ShowMovedSeries(int selected) {
    if (selected < 0) {
        return;
    }
    RebuildSeriesList();
    SelectedLV->SelectListItem(selected);
}

void TMainForm::MoveSelectedUp() {
    const ReorderScope reorder;
    ShowMovedSeries(MoveUp(SelectedFiles, SelectedLV->FirstSelected()));
}

void TMainForm::MoveSelectedDown() {
    ShowMovedSeries(MoveDown(SelectedFiles, SelectedLV->FirstSelected()));
}

void TMainForm::MakeUpItemClick() {
    if (!busy_ && SelectedLV->SelCount() > 0) {
        MoveSelectedUp();
    }
}

void TMainForm::MakeDownItemClick() {
    if (!busy_ && SelectedLV->SelCount() > 0) {
        MoveSelectedDown();
    }
}

void TMainForm::MakeFirstItemClick() {
    if (!busy_) {
        const platform::CursorGuard cursor;
        ShowMovedSeries(MakeFirst(SelectedFiles, SelectedLV->FirstSelected()));
    }
    SelectedLV->setFocus();
}

void TMainForm::SelectedLVColumnClick(int) {
    if (busy_ || SelectedFiles.isEmpty() || !AskSortSeries()) {
        return;
    }
    ShowMovedSeries(SortSeries(SelectedFiles, SelectedLV->FirstSelected()));
    SelectedLV->setFocus();
}

// ---------------------------------------------------------------- drags

namespace {

TDragSource SourceOf(const QDropEvent* event, const TListView* files, const TListView* series) {
    const QString name = PictureDragSource(event->mimeData());
    if (name == files->objectName()) {
        return TDragSource::FileList;
    }
    if (name == series->objectName()) {
        return TDragSource::SeriesList;
    }
    return TDragSource::Other;
}

}  // namespace

bool TMainForm::FilesLVDragOver(const QDropEvent* event) const {
    // Only the series' own pictures go back: a drop here removes series pictures, so
    // nothing else may trigger it.
    return !busy_ && SourceOf(event, FilesLV, SelectedLV) == TDragSource::SeriesList;
}

bool TMainForm::SelectedLVDragOver(const QDropEvent* event) const {
    return !busy_ && SeriesListAcceptsDrop(SourceOf(event, FilesLV, SelectedLV));
}

void TMainForm::SelectedLVDragDrop(const QDropEvent* event) {
    if (!SelectedLVDragOver(event)) {
        return;
    }
    const int target = DropTarget(SelectedLV, event);
    if (SourceOf(event, FilesLV, SelectedLV) == TDragSource::FileList) {
        DropFilesIntoSeries(target);
    } else if (target >= 0) {
        MoveInsideSeries(target);
    }
    SelectAllButton->setEnabled(FilesLV->Count() > 0);
    UpdateFilesLabel();
    UpdateSelectedLabel();
    UpdateSeriesButtons();
}

void TMainForm::DropFilesIntoSeries(int target) {
    const QList<int> picked = SelectedIndices(FilesLV);
    QStringList names;
    for (int i : picked) {
        names.append(FilesLV->Caption(i));
    }
    const int first = DropFilesOnSeries(SelectedFiles, target, CurrentFolder, names);
    if (first < 0) {
        return;
    }
    RebuildSeriesList();
    if (IsRemovableDrive && IsRemovableDrive(CurrentFolder)) {
        CopyDroppedToTemp(SelectedFiles.mid(first, names.size()));
    }
    FilesLV->BeginUpdate();
    for (auto i = picked.size(); i-- > 0;) {
        FilesLV->DeleteItem(picked[i]);
    }
    FilesLV->EndUpdate();
    SelectedLV->SelectListItem(first);
    SelectedLV->setFocus();
}

// A copy that fails is not reported: the picture is then read from its own path. That
// holds for a temporary folder that cannot be made as well: the drop is half done at this
// point, and leaving it there would show the pictures in both lists.
void TMainForm::CopyDroppedToTemp(const QStringList& paths) {
    TxGauge gauge(MainStatusBar);
    gauge.setGeometry(1, 2, MainStatusBar->width() - 2, MainStatusBar->height() - 2);
    gauge.SetBarForeColor(kDropGaugeBar);
    gauge.SetMinValue(0);
    gauge.SetMaxValue(static_cast<int>(paths.size()));
    gauge.show();
    int done = 0;
    for (const QString& path : paths) {
        try {
            tempCopies_->CopyToTemp(path);
        } catch (const TempFolderError&) {
            return;  // no later copy can be made either
        }
        gauge.SetProgress(++done);
        gauge.repaint();
    }
}

void TMainForm::MoveInsideSeries(int target) {
    const int k = MoveWithinSeries(SelectedFiles, SelectedIndices(SelectedLV), target);
    RebuildSeriesList();
    SelectedLV->SelectListItem(k);
}

void TMainForm::FilesLVDragDrop(const QDropEvent* event) {
    if (!FilesLVDragOver(event)) {
        return;
    }
    // The question comes after the drop has ended, so no box opens inside the drag.
    RunAfterwards([this] {
        if (busy_ || SelectedLV->SelCount() == 0 || !AskRemoveDraggedPictures()) {
            return;
        }
        // DragOutOfSeries reads every path before its entry goes.
        const TDragOutResult result =
            DragOutOfSeries(SelectedFiles, SelectedIndices(SelectedLV), CurrentFolder);
        for (const QString& path : result.removed) {
            tempCopies_->DeleteCopy(path);
        }
        RebuildSeriesList();
        for (const QString& name : result.putBack) {
            const int at = PutBack(platform::JoinPath(CurrentFolder, name));
            if (FilesLV->SelCount() == 0) {
                FilesLV->SelectListItem(at);
            }
        }
        if (result.seriesEmptied) {
            UseTempCopies = true;
        }
        FitListColumn(FilesLV, 5);
        FilesLV->setFocus();
        SelectAllButton->setEnabled(FilesLV->Count() > 0);
        UpdateFilesLabel();
        UpdateSelectedLabel();
        UpdateSeriesButtons();
    });
}
