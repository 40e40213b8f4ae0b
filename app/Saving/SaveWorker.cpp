#include "app/Saving/SaveWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <exception>
#include <thread>

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
    std::exception_ptr failure;
    {
        // The loop is left only through the quit the worker posts as its very last act,
        // and the thread is joined before the loop and failure go away.
        std::jthread worker([&work, &failure, &loop] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}
