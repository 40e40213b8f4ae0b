#pragma once
// Where the watch threads hand their reports: a handler that its owner revokes before it
// goes away. Delivery and revocation share one mutex, so once Revoke() has returned no
// thread is inside the handler and none will enter it again.

#include <functional>
#include <mutex>
#include <string>

class WatchSink {
  public:
    using Handler = std::function<void(const std::string& path)>;

    explicit WatchSink(Handler handler) : handler_(std::move(handler)) {}

    // Any thread. The handler runs under the sink's mutex: it must be short and must not
    // wait for the owner's thread.
    void Deliver(const std::string& path) {
        std::lock_guard lock(mutex_);
        if (handler_) {
            handler_(path);
        }
    }
    void Revoke() {
        std::lock_guard lock(mutex_);
        handler_ = nullptr;
    }

  private:
    std::mutex mutex_;
    Handler handler_;
};
