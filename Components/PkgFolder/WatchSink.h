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

    explicit WatchSink(Handler handler);

    // Any thread. The handler runs under the sink's mutex: it must be short and must not
    // wait for the owner's thread.
    void Deliver(const std::string& path);
    // Returns once no thread is inside the handler; none enters it afterwards.
    void Revoke();

  private:
    std::mutex mutex_;
    Handler handler_;
};
