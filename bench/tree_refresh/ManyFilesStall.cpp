#include "bench/tree_refresh/ManyFilesStall.h"

#include "Components/PkgFolder/FolderTree.h"
#include "bench/common/BenchDirectory.h"
#include "bench/common/BenchTiming.h"
#include "platform/VolumeTable.h"
#include "tests/common/EventLoopGaps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

void MakeFolderOfFiles(const std::string& path, int files) {
    if (::mkdir(path.c_str(), 0755) != 0)
        return;  // made by an earlier run
    for (int i = 0; i < files; ++i) {
        const int fd =
            ::open((path + "/f" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0)
            ::close(fd);
    }
}

// Runs the event loop until `done` holds (it waits in the loop, as the program does).
bool RunUntil(const std::function<bool()>& done, int limitMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

HTREEITEM ChildNamed(const TFolderTree& tree, HTREEITEM parent, const QString& name) {
    for (HTREEITEM c = parent ? tree.GetFirstChild(parent) : tree.GetRootItem(); c;
         c = tree.GetNextSibling(c)) {
        if (tree.GetItemText(c) == name)
            return c;
    }
    return 0;
}

}  // namespace

void MakeFoldersOfFiles(const std::string& root, int folders, int filesEach) {
    const std::string many = root + "/many";
    ::mkdir(many.c_str(), 0755);
    for (int i = 0; i < folders; ++i)
        MakeFolderOfFiles(many + "/files" + std::to_string(i), filesEach);
}

StallFigures MeasureManyFilesStall(const std::string& root, int folders, int passes,
                                   bool useLinkCounts) {
    const std::string many = root + "/many";
    std::vector<std::string> made;
    for (int i = 0; i < folders; ++i)
        made.push_back(many + "/files" + std::to_string(i));
    bench::WaitUntilSettled(made);
    // The system's drives and home, with the reads of the folders of many files counted.
    auto reads = std::make_shared<std::atomic<int>>(0);
    platform::DirectoryAccess access;
    access.useLinkCounts = useLinkCounts;
    access.beforeRead = [reads, files = many + "/files"](const std::string& path) {
        if (path.compare(0, files.size(), files) == 0)
            ++*reads;
    };
    const char* home = std::getenv("HOME");
    const auto space = platform::ShellNamespace::Create(platform::VolumeTable::System(),
                                                        home && *home ? home : "/", access);
    TFolderTree tree(nullptr, space);
    tree.SetFiles(false);
    tree.SetHideFolders(false);
    tree.DoSetRoot(QString::fromStdString(root));
    tree.resize(400, 700);
    tree.show();
    QCoreApplication::processEvents();
    tree.Watcher().StopAll();  // passes run only when the benchmark asks
    const HTREEITEM parent = ChildNamed(tree, 0, "many");
    bool expanded = false;
    QObject::connect(&tree, &TFolderTree::OnExpanded,
                     [&](TFolderTree*, HTREEITEM item) { expanded |= item == parent; });

    StallFigures figures;
    testloop::GapMeter meter;
    QElapsedTimer clock;
    *reads = 0;
    meter.Restart();
    clock.start();
    for (int row = 0; row < tree.model()->rowCount({}); ++row) {
        if (tree.model()->index(row, 0).data().toString() == "many")
            tree.expand(tree.model()->index(row, 0));
    }
    RunUntil([&] { return expanded; });
    tree.viewport()->repaint();
    figures.expandMs = clock.nsecsElapsed() / 1e6;
    figures.longestExpandGapMs = meter.Stop();
    figures.expandReads = reads->exchange(0);

    auto taken = std::make_shared<std::atomic<bench::Clock::rep>>(0);
    tree.Refresher().SetBatchTakenHook(
        [taken] { *taken = bench::Clock::now().time_since_epoch().count(); });
    std::vector<double> passMs;
    meter.Restart();
    for (int pass = 0; pass < passes; ++pass) {
        // A folder made for the pass shows when the pass has been applied.
        const QString fence = QString("fence%1").arg(pass);
        ::mkdir((many + "/" + fence.toStdString()).c_str(), 0755);
        tree.OnFolderChange(root);
        tree.OnChangeFollowTimer();
        if (!RunUntil([&] { return ChildNamed(tree, parent, fence) != 0; }))
            break;
        passMs.push_back(bench::Milliseconds(bench::Clock::now().time_since_epoch() -
                                             bench::Clock::duration(taken->load())));
        tree.viewport()->repaint();
        QCoreApplication::processEvents();
        ++figures.passes;
    }
    figures.longestPassGapMs = meter.Stop();
    figures.passReads = reads->load();
    if (!passMs.empty()) {
        figures.medianPassMs = bench::Median(passMs);
        figures.slowestPassMs = bench::Slowest(passMs);
    }
    tree.Refresher().SetBatchTakenHook({});
    for (int pass = 0; pass < passes; ++pass)
        ::rmdir((many + "/fence" + std::to_string(pass)).c_str());
    return figures;
}
