// Expanding a folder of 10,000 subfolders (folders only) and one of 50,000 files (files
// shown) in the folder tree, against a plain listing of the same folders in the same run.
// - ours: from asking a fresh tree (made, rooted and shown with its rows' buttons
//   beforehand, untimed) to expand the folder's item until its children are in the model
//   and the tree has repainted:
//   reading the folder on the population thread (readdir, kinds from d_type), filtering,
//   sorting, working out the buttons of the first kButtonsWithChildren folders (each read
//   until its first subfolder or link to one: no hidden folders are shown, and a link count
//   above 2 may count hidden ones only; the rest follow later, untimed), handing the items to
//   the UI thread and inserting them;
// - reference: readdir with d_type, the names kept and sorted in natural order and the
//   buttons of the first kButtonsWithChildren folders worked out the same way
//   (bench::ReadDirSortLoop), on the calling thread.
// The two alternate, kRounds rounds each after one warming read; each figure is the median
// of its rounds. Also reports the longest gap between event-loop turns while expanding.
// Then, in a folder of 100,000 subfolders, how long a fresh tree takes from SelectFolder to
// the selected item for the first subfolder and for the last one (each the median of
// kSelectRounds; both read the folder, so the difference is what finding the item costs).
// Last line: ratio <ours / reference> (the worse of the two expansion cases).

#include "Components/PkgFolder/FolderTree.h"
#include "bench/common/BenchDirectory.h"
#include "bench/common/BenchTiming.h"
#include "platform/VolumeTable.h"
#include "tests/common/EventLoopGaps.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFolders = 10000;
constexpr int kFiles = 50000;
constexpr int kRounds = 7;
constexpr int kHugeFolders = 100000;
constexpr int kSelectRounds = 3;

void MakeFolders(const std::string& path, int count) {
    ::mkdir(path.c_str(), 0755);
    for (int i = 0; i < count; ++i)
        ::mkdir((path + "/folder" + std::to_string(i)).c_str(), 0755);
}

void MakeFiles(const std::string& path, int count) {
    ::mkdir(path.c_str(), 0755);
    for (int i = 0; i < count; ++i) {
        const int fd = ::open((path + "/picture" + std::to_string(i) + ".jpg").c_str(),
                              O_CREAT | O_WRONLY, 0644);
        if (fd >= 0)
            ::close(fd);
    }
}

// The reference: list the folder in order.
double ReadDirSortLoop(const std::string& path) {
    long entries = 0;
    const double ms =
        bench::ReadDirSortLoop(path, &entries, static_cast<long>(kButtonsWithChildren));
    if (entries == 0)
        std::printf("warning: nothing read in %s\n", path.c_str());
    return ms;
}

struct Expansion {
    double ms = 0;
    double longestGapMs = 0;
    int children = 0;
};

// One fresh tree rooted at `root`; expands its item `name` and waits until the children
// are in and drawn.
// The top-level row of the tree named `name` (invalid when there is none).
QModelIndex TopRowNamed(const TFolderTree& tree, const QString& name) {
    const QAbstractItemModel& model = *tree.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, 0).data().toString() == name)
            return model.index(row, 0);
    }
    return {};
}

Expansion ExpandOnce(const SNamespacePtr& space, const std::string& root, const QString& name,
                     bool showFiles) {
    TFolderTree tree(nullptr, space);
    tree.SetFiles(showFiles);
    tree.SetHideFolders(false);
    tree.DoSetRoot(QString::fromStdString(root));
    tree.resize(400, 700);
    tree.show();
    QCoreApplication::processEvents();
    const QModelIndex folder = TopRowNamed(tree, name);
    // The rows shown get their buttons on the population thread, the folder of files (no
    // subfolder) only by a read to its end. A user opens a folder once the rows are drawn
    // with their buttons, so the clock starts then: a sibling's button is no part of
    // opening this folder.
    if (!showFiles) {
        const QModelIndex files = TopRowNamed(tree, "files");
        while (files.isValid() && tree.model()->hasChildren(files))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // The UI thread waits in its event loop as the program's does (no spinning, which would
    // take a core from the reading thread on a busy machine).
    bool done = false;
    QEventLoop waiting;
    QObject::connect(&tree, &TFolderTree::OnExpanded, [&](TFolderTree*, HTREEITEM) {
        done = true;
        waiting.quit();
    });

    QElapsedTimer clock;
    clock.start();
    testloop::GapMeter gaps;
    tree.expand(folder);
    if (!done)
        waiting.exec();
    tree.viewport()->repaint();
    QCoreApplication::processEvents();
    Expansion result;
    result.ms = clock.nsecsElapsed() / 1e6;
    result.longestGapMs = gaps.Stop();
    result.children = tree.model()->rowCount(folder);
    return result;
}

struct CaseFigures {
    double oursMs = 0;
    double referenceMs = 0;
    double longestGapMs = 0;
    int children = 0;
};

CaseFigures RunCase(const SNamespacePtr& space, const std::string& root, const char* name,
                    bool showFiles) {
    const std::string folder = root + "/" + name;
    ReadDirSortLoop(folder);  // warm the caches for both sides
    CaseFigures figures;
    std::vector<double> ours, reference;
    for (int round = 0; round < kRounds; ++round) {
        reference.push_back(ReadDirSortLoop(folder));
        const Expansion expansion = ExpandOnce(space, root, QString::fromUtf8(name), showFiles);
        ours.push_back(expansion.ms);
        figures.longestGapMs = std::max(figures.longestGapMs, expansion.longestGapMs);
        figures.children = expansion.children;
    }
    figures.oursMs = bench::Median(ours);
    figures.referenceMs = bench::Median(reference);
    return figures;
}

// A fresh desktop tree over `space` moved to `path` by SelectFolder: milliseconds until the
// selected item shows that path.
double SelectOnce(const SNamespacePtr& space, const std::string& path) {
    TFolderTree tree(nullptr, space);
    tree.SetFiles(false);
    tree.resize(400, 700);
    tree.show();
    QCoreApplication::processEvents();
    const QString target = QString::fromStdString(path);
    QElapsedTimer clock;
    clock.start();
    tree.SelectFolder(target);
    const auto selected = [&] {
        const TVITEMDATA* data = tree.GetItemData(tree.GetSelected());
        return data && PidlToPath(*space, data->absolute.Get()) == path;
    };
    while (!selected())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return clock.nsecsElapsed() / 1e6;
}

struct SelectFigures {
    double firstMs = 0;
    double lastMs = 0;
};

SelectFigures RunSelectCase(const SNamespacePtr& space, const std::string& folder) {
    // Natural order: folder0 comes first and folder99999 last.
    const std::string first = folder + "/folder0";
    const std::string last = folder + "/folder" + std::to_string(kHugeFolders - 1);
    std::vector<double> firstMs, lastMs;
    for (int round = 0; round < kSelectRounds; ++round) {
        firstMs.push_back(SelectOnce(space, first));
        lastMs.push_back(SelectOnce(space, last));
    }
    return {bench::Median(firstMs), bench::Median(lastMs)};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");  // no window needs to be seen
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    MakeFolders(root + "/folders", kFolders);
    MakeFiles(root + "/files", kFiles);
    MakeFolders(root + "/huge", kHugeFolders);
    const SNamespacePtr space =
        platform::ShellNamespace::Create(platform::VolumeTable::System(), root);

    const CaseFigures folders = RunCase(space, root, "folders", false);
    const CaseFigures files = RunCase(space, root, "files", true);
    const double folderRatio = folders.oursMs / folders.referenceMs;
    const double fileRatio = files.oursMs / files.referenceMs;
    std::printf(
        "median of %d rounds\n10,000 subfolders: tree %.1f ms (%d items), listing %.1f ms, "
        "ratio %.2f, "
        "longest event-loop gap %.1f ms\n",
        kRounds, folders.oursMs, folders.children, folders.referenceMs, folderRatio,
        folders.longestGapMs);
    std::printf(
        "50,000 files:      tree %.1f ms (%d items), listing %.1f ms, ratio %.2f, "
        "longest event-loop gap %.1f ms\n",
        files.oursMs, files.children, files.referenceMs, fileRatio, files.longestGapMs);
    const SelectFigures select = RunSelectCase(space, root + "/huge");
    std::printf(
        "100,000 subfolders, median of %d: selecting the first %.1f ms, the last %.1f ms, "
        "difference %.1f ms\n",
        kSelectRounds, select.firstMs, select.lastMs, select.lastMs - select.firstMs);
    std::printf("ratio %.2f\n", std::max(folderRatio, fileRatio));
    return 0;
}
