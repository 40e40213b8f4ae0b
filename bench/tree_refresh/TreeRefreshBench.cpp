// A refresh pass of the folder tree over an expanded folder of 10,000 subfolders after 100
// changes on disk (50 folders removed, 50 made), against a plain program doing the pass's
// work on the same folder in the same run; then how long the UI thread stalls while the
// tree shows four folders of many files through an expansion and five passes.
//
// Ours: TFolderTree::DoRefreshDir on the UI thread: the snapshot of the expanded items,
// the folder read (readdir, kinds from d_type) and compared with what the tree shows (hash
// sets), the buttons of its folders worked out (a stat each, taking the button kept from the
// expansion or the last pass while the folder is unchanged, else a read: here the 50 new
// folders), the 50 new folders sorted, and the 100 changes applied to the shown tree. The
// reference (bench::ReadDirCompareLoop): readdir with d_type, the names compared with those
// the tree shows (hash sets), the buttons of the folders worked out the same way (answers
// kept from its warming pass and its rounds), the new names sorted in natural order. Both
// run on one thread; the changes are made, and the names shown gathered, before either
// clock starts. The folders are over two seconds old when the tree is made (see
// bench::WaitUntilSettled). Each figure is the median of kRounds.
// The stall: see ManyFilesStall.h (argument 1: files in each folder, 200,000 by default),
// with link counts and as on a file system without them.
// Last line: ratio <ours / reference> of the pass.

#include "Components/PkgFolder/FolderTree.h"
#include "bench/common/BenchDirectory.h"
#include "bench/common/BenchTiming.h"
#include "bench/tree_refresh/ManyFilesStall.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kFolders = 10000;
constexpr int kChanges = 100;
constexpr int kRounds = 9;

double ReferencePass(const std::string& path, const std::vector<std::string>& shown,
                     bench::RememberedAnswers& remembered) {
    long added = 0, removed = 0;
    const double ms = bench::ReadDirCompareLoop(path, shown, remembered, &added, &removed);
    if (added + removed != kChanges && !shown.empty())
        std::printf("warning: %ld added and %ld removed in %s\n", added, removed, path.c_str());
    return ms;
}

std::vector<std::string> ShownNames(const TFolderTree& tree, HTREEITEM item) {
    std::vector<std::string> names;
    for (HTREEITEM c = tree.GetFirstChild(item); c; c = tree.GetNextSibling(c))
        names.push_back(tree.GetItemText(c).toStdString());
    return names;
}

// Removes the folders of the last round's names and makes as many new ones.
void ChangeFolders(const std::string& big, int round) {
    for (int i = 0; i < kChanges / 2; ++i) {
        const int gone = round * (kChanges / 2) + i;
        ::rmdir((big + "/folder" + std::to_string(gone)).c_str());
        ::mkdir((big + "/new" + std::to_string(round) + "_" + std::to_string(i)).c_str(), 0755);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");  // no window needs to be seen
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const int filesEach = argc > 1 ? std::atoi(argv[1]) : 200000;
    MakeFoldersOfFiles(root, 4, filesEach);  // first: they age while the passes are timed
    const std::string big = root + "/big";
    ::mkdir(big.c_str(), 0755);
    for (int i = 0; i < kFolders; ++i)
        ::mkdir((big + "/folder" + std::to_string(i)).c_str(), 0755);
    bench::WaitUntilSettled({big});

    TFolderTree tree(nullptr, platform::ShellNamespace::System());
    tree.SetFiles(false);
    tree.DoSetRoot(dir.path());
    tree.resize(400, 700);
    tree.show();
    QCoreApplication::processEvents();
    tree.Watcher().StopAll();  // passes run only when the benchmark asks
    const HTREEITEM item = tree.GetRootItem();
    tree.ExpandItemNow(item);
    QCoreApplication::processEvents();

    // Warms the caches for both sides; the reference keeps its answers as the tree's
    // expansion kept the buttons.
    bench::RememberedAnswers remembered;
    ReferencePass(big, {}, remembered);
    std::vector<double> ours, reference;
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<std::string> shown = ShownNames(tree, item);
        ChangeFolders(big, round);
        reference.push_back(ReferencePass(big, shown, remembered));
        QElapsedTimer clock;
        clock.start();
        tree.DoRefreshDir(QString::fromStdString(big));
        ours.push_back(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    const double oursMs = bench::Median(ours);
    const double referenceMs = bench::Median(reference);
    int children = 0;
    for (HTREEITEM c = tree.GetFirstChild(item); c; c = tree.GetNextSibling(c))
        ++children;
    std::printf("folders shown after %d passes: %d (on disk %d)\n", kRounds, children, kFolders);
    std::printf("median of %d rounds\n", kRounds);
    std::printf("refresh pass    %8.2f ms\n", oursMs);
    std::printf("reference pass  %8.2f ms\n", referenceMs);
    for (const bool counts : {true, false}) {
        const StallFigures stall = MeasureManyFilesStall(root, 4, 5, counts);
        std::printf(
            "4 folders of %d files%s: expanded in %.1f ms, longest event-loop gap %.1f ms; "
            "%d passes, longest gap %.1f ms\n",
            filesEach, counts ? "" : " (no link counts)", stall.expandMs, stall.longestExpandGapMs,
            stall.passes, stall.longestPassGapMs);
        std::printf(
            "  pass from the refresh thread taking it to its result shown: median %.2f ms, "
            "slowest %.2f ms; folders of many files read: %d while expanding, %d in the passes\n",
            stall.medianPassMs, stall.slowestPassMs, stall.expandReads, stall.passReads);
    }
    std::printf("ratio %.2f\n", oursMs / referenceMs);
    return 0;
}
