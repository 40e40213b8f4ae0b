#pragma once
// A worker thread that takes requests one at a time in order of arrival, computes a result
// for each off the UI thread and queues it for the UI thread, which a posted wake-up makes
// drain the queue. Whether work is waiting is only ever read under the lock, and the thread
// ends on its explicit stop flag, never because the queue happened to be empty. Made and
// destroyed (abort, then join) on the UI thread; the results are handed over there.

#include "platform/UiWaker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

template <class Request, class Result>
class OrderedWorker {
  public:
    // Runs on the worker; it should stop early once abort is set.
    using Work = std::function<Result(Request& request, const std::atomic<bool>& abort)>;
    // Runs on the UI thread, the thread that makes the worker.
    using Deliver = std::function<void(Result& result)>;

    OrderedWorker(Work work, Deliver deliver)
        : work_(std::move(work)),
          deliver_(std::move(deliver)),
          waker_([this] { DeliverResults(); }),
          thread_([this] { Run(); }) {}

    ~OrderedWorker() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            requests_.clear();
        }
        abort_ = true;
        wake_.notify_all();
        thread_.join();
    }

    OrderedWorker(const OrderedWorker&) = delete;
    OrderedWorker& operator=(const OrderedWorker&) = delete;

    void Submit(Request request) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(std::move(request));
        }
        wake_.notify_one();
    }

    // Runs on the worker each time it has taken a request, before the work (tests hold the
    // worker there to change what the request describes).
    void SetTakenHook(std::function<void()> hook) {
        std::lock_guard lock(mutex_);
        taken_ = std::move(hook);
    }

  private:
    void Run() {
        for (;;) {
            Request request;
            std::function<void()> hook;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !requests_.empty(); });
                if (stopping_)
                    return;
                request = std::move(requests_.front());
                requests_.pop_front();
                hook = taken_;
            }
            if (hook)
                hook();
            Result result = work_(request, abort_);
            if (abort_)
                return;
            bool first = false;
            {
                std::lock_guard lock(mutex_);
                first = results_.empty();
                results_.push_back(std::move(result));
            }
            if (first)
                waker_.Post();
        }
    }

    void DeliverResults() {
        std::deque<Result> results;
        {
            std::lock_guard lock(mutex_);
            results.swap(results_);
        }
        for (Result& result : results)
            deliver_(result);
    }

    Work work_;
    Deliver deliver_;
    platform::UiWaker waker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Request> requests_;
    std::deque<Result> results_;
    std::function<void()> taken_;
    bool stopping_ = false;
    std::atomic<bool> abort_{false};
    std::thread thread_;  // last: it starts once everything above is in place
};
