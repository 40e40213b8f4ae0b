#include "app/TerminationWatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe outlives every watcher: a signal arriving while a watcher is being torn down
// must still find a valid descriptor to write to.
int g_pipe[2] = {-1, -1};

void WriteWakeUp(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

bool EnsurePipe() {
    return g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

}  // namespace

TTerminationWatcher::TTerminationWatcher(std::function<void()> onTerminate, QObject* parent)
    : QObject(parent), onTerminate_(std::move(onTerminate)) {
    if (!EnsurePipe()) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TTerminationWatcher::OnSignal);
    struct sigaction action {};
    action.sa_handler = WriteWakeUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &action, &previous_[i]);
    }
}

TTerminationWatcher::~TTerminationWatcher() {
    if (!notifier_) {
        return;
    }
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
}

void TTerminationWatcher::OnSignal() {
    char buffer[16];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    if (onTerminate_) {
        onTerminate_();
    }
}
