#include "app/Series/SeriesOrder.h"

#include <algorithm>

#include "app/MainWindow/ListView.h"
#include "platform/MessageService.h"
#include "platform/Paths.h"

namespace {

bool IsIndexOf(const QStringList& series, int index) {
    return index >= 0 && index < series.size();
}

// The valid indices among selected, ascending and without repeats.
QList<int> CleanSelection(const QStringList& series, QList<int> selected) {
    selected.removeIf([&series](int index) { return !IsIndexOf(series, index); });
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    return selected;
}

// Takes the entries at the (ascending) indices out of the series, keeping their order.
QStringList TakeEntries(QStringList& series, const QList<int>& indices) {
    QStringList taken;
    for (int index : indices) {
        taken.append(series[index]);
    }
    for (auto it = indices.crbegin(); it != indices.crend(); ++it) {
        series.removeAt(*it);
    }
    return taken;
}

bool AskYesNo(const QString& text, const QString& caption, platform::MsgButton preset) {
    using platform::MsgButton;
    return platform::ShowMessage(text, caption, {MsgButton::Yes, MsgButton::No},
                                 platform::MsgIcon::Question, preset) == MsgButton::Yes;
}

}  // namespace

int MoveUp(QStringList& series, int selected) {
    if (!IsIndexOf(series, selected)) {
        return -1;
    }
    if (selected > 0) {
        series.swapItemsAt(selected, selected - 1);
        return selected - 1;
    }
    series.move(0, series.size() - 1);
    return series.size() - 1;
}

int MoveDown(QStringList& series, int selected) {
    if (!IsIndexOf(series, selected)) {
        return -1;
    }
    if (selected < series.size() - 1) {
        series.swapItemsAt(selected, selected + 1);
        return selected + 1;
    }
    series.move(series.size() - 1, 0);
    return 0;
}

int MakeFirst(QStringList& series, int selected) {
    if (!IsIndexOf(series, selected)) {
        return -1;
    }
    std::rotate(series.begin(), series.begin() + selected, series.end());
    return 0;
}

void RotateToPicture(QStringList& series, int first) {
    if (first >= 1 && first <= series.size()) {
        MakeFirst(series, first - 1);
    }
}

int SortSeries(QStringList& series, int selected) {
    if (series.isEmpty()) {
        return -1;
    }
    const QString remembered = IsIndexOf(series, selected) ? series[selected] : QString();
    std::stable_sort(series.begin(), series.end(), CaptionLess);
    if (remembered.isNull()) {
        return 0;
    }
    return std::max(0, static_cast<int>(series.indexOf(remembered)));
}

int DropFilesOnSeries(QStringList& series, int target, const QString& folder,
                      const QStringList& names) {
    const int insertAt = IsIndexOf(series, target) ? target + 1 : 0;
    int at = insertAt;
    for (const QString& name : names) {
        series.insert(at++, platform::JoinPath(folder, name));
    }
    return names.isEmpty() ? -1 : insertAt;
}

int MoveWithinSeries(QStringList& series, QList<int> selected, int target) {
    if (!IsIndexOf(series, target)) {
        return -1;
    }
    selected = CleanSelection(series, std::move(selected));
    if (selected.isEmpty() || selected.contains(target)) {
        return target;
    }
    const bool down = selected.first() < target;
    const auto before = std::count_if(selected.cbegin(), selected.cend(),
                                      [target](int index) { return index < target; });
    const QStringList block = TakeEntries(series, selected);
    const int targetNow = target - static_cast<int>(before);
    int at = down ? targetNow + 1 : targetNow;
    for (const QString& path : block) {
        series.insert(at++, path);
    }
    return target;
}

TDragOutResult DragOutOfSeries(QStringList& series, QList<int> selected,
                               const QString& currentFolder) {
    TDragOutResult result;
    selected = CleanSelection(series, std::move(selected));
    result.removed = TakeEntries(series, selected);
    const QString folder = platform::WithTrailingSlash(currentFolder);
    for (const QString& path : result.removed) {
        if (!folder.isEmpty() && platform::FolderPart(path) == folder) {
            result.putBack.append(platform::FileNamePart(path));
        }
    }
    result.seriesEmptied = series.isEmpty() && !result.removed.isEmpty();
    return result;
}

bool FileListAcceptsDrop(TDragSource source) {
    return source != TDragSource::FileList;
}

bool SeriesListAcceptsDrop(TDragSource source) {
    return source == TDragSource::FileList || source == TDragSource::SeriesList;
}

bool AskSortSeries() {
    return AskYesNo(QStringLiteral("Do you want to sort list of images?"),
                    QStringLiteral("Sort list"), platform::MsgButton::No);
}

bool AskRemoveDraggedPictures() {
    return AskYesNo(QStringLiteral("Do you want to remove selected picture from list?"),
                    QStringLiteral("Remove picture"), platform::MsgButton::None);
}
