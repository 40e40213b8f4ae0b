#include "Images/J2000/DeferredRelease.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace j2000 {

namespace {

class Releaser {
  public:
    Releaser() = default;
    Releaser(const Releaser&) = delete;
    Releaser& operator=(const Releaser&) = delete;

    // Everything handed over is destroyed before the thread ends.
    ~Releaser() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    // Takes `object` unless there is no thread or no room for it; then it stays with the caller.
    void Give(std::shared_ptr<void>& object) {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            if (!thread_.joinable())
                thread_ = std::thread(&Releaser::Loop, this);
            queue_.push_back(std::move(object));
        } catch (...) {
            return;
        }
        wake_.notify_one();
    }

  private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            std::shared_ptr<void> object = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            object.reset();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<void>> queue_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace

void release_later(std::shared_ptr<void> object) noexcept {
    static Releaser releaser;
    if (object)
        releaser.Give(object);
}

}  // namespace j2000
