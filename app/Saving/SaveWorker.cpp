#include "app/Saving/SaveWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <exception>
#include <mutex>
#include <thread>

#include "platform/UiWaker.h"

void RunOffUiThread(const std::function<void()>& work, const std::function<void()>& tick) {
    const QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread()) {
        work();
        return;
    }
    QEventLoop loop;
    QTimer ticker;
    if (tick) {
        QObject::connect(&ticker, &QTimer::timeout, &loop, [&tick] { tick(); });
        ticker.start(kTickMilliseconds);
    }
    // The end is told through a flag under a mutex; the posted event only wakes the loop.
    std::mutex mutex;
    bool finished = false;
    platform::UiWaker waker([&] {
        std::lock_guard lock(mutex);
        if (finished) {
            loop.quit();
        }
    });
    std::exception_ptr failure;
    {
        // The thread is joined before the waker, the flag and failure go away.
        std::jthread worker([&work, &failure, &mutex, &finished, &waker] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                finished = true;
            }
            waker.Post();
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}
