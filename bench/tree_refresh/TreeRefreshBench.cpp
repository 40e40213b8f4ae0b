// A refresh pass of the folder tree over an expanded folder of 10,000 subfolders after 100
// changes on disk (50 folders removed, 50 made), against a plain listing of the same folder
// in the same run.
//
// Ours: TFolderTree::DoRefreshDir on the UI thread: the snapshot of the expanded items,
// the folder read (readdir, kinds from d_type) and compared with what the tree shows, and
// the 100 changes applied to the shown tree. The reference: readdir with d_type, the names
// kept and sorted in natural order (bench::ReadDirSortLoop). Both run on one thread; the
// changes are made before either clock starts. Each figure is the median of kRounds rounds.
// Last line: ratio <ours / reference>.

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

double ReadDirSortLoop(const std::string& path) {
    long entries = 0;
    const double ms = bench::ReadDirSortLoop(path, &entries);
    if (entries < kFolders)
        std::printf("warning: only %ld entries in %s\n", entries, path.c_str());
    return ms;
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
    const std::string big = root + "/big";
    ::mkdir(big.c_str(), 0755);
    for (int i = 0; i < kFolders; ++i)
        ::mkdir((big + "/folder" + std::to_string(i)).c_str(), 0755);

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

    ReadDirSortLoop(big);  // warm the caches for both sides
    std::vector<double> ours, reference;
    for (int round = 0; round < kRounds; ++round) {
        ChangeFolders(big, round);
        reference.push_back(ReadDirSortLoop(big));
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
    std::printf("sorted listing  %8.2f ms\n", referenceMs);
    const int filesEach = argc > 1 ? std::atoi(argv[1]) : 200000;
    const StallFigures stall = MeasureManyFilesStall(root, 4, filesEach, 5);
    std::printf(
        "4 folders of %d files: expanded in %.1f ms, longest event-loop gap %.1f ms; "
        "%d passes, longest gap %.1f ms\n",
        filesEach, stall.expandMs, stall.longestExpandGapMs, stall.passes, stall.longestPassGapMs);
    std::printf("ratio %.2f\n", oursMs / referenceMs);
    return 0;
}
