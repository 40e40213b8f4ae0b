#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into an ordinary close of the main window, so that a
// session ending or a script stopping the program still writes the window settings and
// removes the temporary folder. The signal handler only writes a byte to a pipe; the UI
// thread reads it through a socket notifier and runs the close there. The previous
// handlers are put back when the watcher goes.

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>

class TTerminationWatcher : public QObject {
    Q_OBJECT
  public:
    explicit TTerminationWatcher(std::function<void()> onTerminate, QObject* parent = nullptr);
    ~TTerminationWatcher() override;
    TTerminationWatcher(const TTerminationWatcher&) = delete;
    TTerminationWatcher& operator=(const TTerminationWatcher&) = delete;

    bool Active() const { return notifier_ != nullptr; }

  private:
    void OnSignal();

    std::function<void()> onTerminate_;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[3] = {};
};
