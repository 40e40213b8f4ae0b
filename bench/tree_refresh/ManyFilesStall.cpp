#include "bench/tree_refresh/ManyFilesStall.h"

#include "Components/PkgFolder/FolderTree.h"
#include "platform/VolumeTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

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

// A 1 ms timer: the longest time between two of its runs is, to the millisecond, the
// longest the UI thread could not react.
class GapMeter {
  public:
    GapMeter() {
        beat_.setTimerType(Qt::PreciseTimer);
        beat_.setInterval(1);
        QObject::connect(&beat_, &QTimer::timeout, [this] { Beat(); });
    }
    void Start() {
        longest_ = 0;
        clock_.start();
        beat_.start();
    }
    double Stop() {
        Beat();
        beat_.stop();
        return longest_;
    }

  private:
    void Beat() {
        longest_ = std::max(longest_, clock_.nsecsElapsed() / 1e6);
        clock_.restart();
    }
    QTimer beat_;
    QElapsedTimer clock_;
    double longest_ = 0;
};

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

StallFigures MeasureManyFilesStall(const std::string& root, int folders, int filesEach,
                                   int passes) {
    const std::string many = root + "/many";
    ::mkdir(many.c_str(), 0755);
    for (int i = 0; i < folders; ++i)
        MakeFolderOfFiles(many + "/files" + std::to_string(i), filesEach);

    TFolderTree tree(nullptr, platform::ShellNamespace::System());
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
    GapMeter meter;
    QElapsedTimer clock;
    meter.Start();
    clock.start();
    for (int row = 0; row < tree.model()->rowCount({}); ++row) {
        if (tree.model()->index(row, 0).data().toString() == "many")
            tree.expand(tree.model()->index(row, 0));
    }
    RunUntil([&] { return expanded; });
    tree.viewport()->repaint();
    figures.expandMs = clock.nsecsElapsed() / 1e6;
    figures.longestExpandGapMs = meter.Stop();

    meter.Start();
    for (int pass = 0; pass < passes; ++pass) {
        // A folder made for the pass shows when the pass has been applied.
        const QString fence = QString("fence%1").arg(pass);
        ::mkdir((many + "/" + fence.toStdString()).c_str(), 0755);
        tree.OnFolderChange(root);
        tree.OnChangeFollowTimer();
        if (!RunUntil([&] { return ChildNamed(tree, parent, fence) != 0; }))
            break;
        tree.viewport()->repaint();
        QCoreApplication::processEvents();
        ++figures.passes;
    }
    figures.longestPassGapMs = meter.Stop();
    for (int pass = 0; pass < passes; ++pass)
        ::rmdir((many + "/fence" + std::to_string(pass)).c_str());
    return figures;
}
