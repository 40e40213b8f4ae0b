// The save's file work on its worker thread; also run under ThreadSanitizer.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "app/Saving/SavePackage.h"
#include "app/Saving/SaveWorker.h"
#include "platform/testing/ScriptedMessageService.h"
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

// A save through the worker, a question on the way: the copies, the question and the
// progress come out as they do in place.
TEST(SaveWorkerTest, ASaveOffTheUiThread) {
    EnsureApp();
    QTemporaryDir dir;
    QStringList series;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        series.append(dir.path() + '/' + name);
        QFile file(series.back());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(300000, name[0]));
    }
    QDir(dir.path()).mkdir("dest");
    QFile old(dir.path() + "/dest/p2.jpg");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    TSaveEntries entries;
    entries.destination = dir.path() + "/dest";
    entries.prefix = "p";
    entries.digits = 1;
    TSaveServices services;
    services.offload = RunOffUiThread;
    QStringList positions;
    services.progress.position = [&](int p) { positions.append(QString::number(p)); };
    int asked = 0;
    services.askOverwrite = [&](const QString&, const QString&, const QString&) {
        ++asked;
        return 6;  // Yes
    };
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scope(messages);
    const TSaveOutcome outcome = SavePackage(series, entries, services);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(positions, QStringList({"33", "66", "100"}));
    EXPECT_EQ(outcome.written.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QFile copy(dir.path() + "/dest/p" + QString::number(i + 1) + ".jpg");
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), QByteArray(300000, char('a' + i)));
    }
    EXPECT_TRUE(messages.Questions().empty());
}

}  // namespace
