// The save's file work on its worker thread; also run under ThreadSanitizer.

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "app/Saving/SavePackage.h"
#include "app/Saving/SaveWorker.h"
#include "tests/app/QtPrinters.h"
#include "tests/app/TestApp.h"

namespace {

// The window stays live while the save's file work runs: the worker here can finish only
// once the UI thread has run a timer event.
TEST(SaveWorkerTest, TheUiThreadHandlesEventsWhileWorkRuns) {
    EnsureApp();
    std::mutex mutex;
    std::condition_variable changed;
    bool timerRan = false;
    bool sawTimer = false;
    QTimer::singleShot(0, [&] {
        std::lock_guard lock(mutex);
        timerRan = true;
        changed.notify_all();
    });
    RunOffUiThread([&] {
        std::unique_lock lock(mutex);
        sawTimer = changed.wait_for(lock, std::chrono::seconds(20), [&] { return timerRan; });
    });
    EXPECT_TRUE(sawTimer);
    EXPECT_THROW(RunOffUiThread([] { throw std::runtime_error("no medium"); }), std::runtime_error);
}

// A save through the worker, a question on the way: copies, question and progress come
// out as they do in place.
TEST(SaveWorkerTest, ASaveOffTheUiThread) {
    EnsureApp();
    QTemporaryDir dir;
    QStringList series;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        series.append(dir.path() + '/' + name);
        WriteFileBytes(series.back(), QByteArray(300000, name[0]));
    }
    WriteFileBytes(dir.path() + "/p2.jpg", "");
    TSaveEntries entries{dir.path(), "", "p", "", 1, "1", ""};
    TSaveServices services;
    services.offload = RunOffUiThread;
    QStringList shown;
    services.progress.position = [&](int p) { shown.append(QString::number(p)); };
    services.askOverwrite = [&](const QString& text, const QString&, const QString&) {
        shown.append(text.section('/', -1));
        return 6;  // Yes
    };
    EXPECT_EQ(SavePackage(series, entries, services).written.size(), 3);
    EXPECT_EQ(shown, QStringList({"33", "p2.jpg already exist. Do you want to replace them?", "66",
                                  "100"}));
    EXPECT_EQ(FileBytes(dir.path() + "/p2.jpg"), QByteArray(300000, 'b'));
}

}  // namespace
