#include "Images/J2000/WorkerPool.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace j2000 {

namespace {

// Beyond this the threads' scratch memory, not the cores, would set the pace.
constexpr unsigned kMostThreads = 256;

int ThreadsFor(unsigned asked) {
    const unsigned threads = asked > 0 ? asked : std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(threads, 1u, kMostThreads));
}

}  // namespace

WorkerPool::WorkerPool(unsigned threads) : threads_(ThreadsFor(threads)) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

void WorkerPool::StartHelpers() {
    started_ = true;
    for (int worker = 1; worker < threads_; ++worker) {
        try {
            helpers_.emplace_back(&WorkerPool::HelperLoop, this, worker);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones started do the work
        }
    }
}

void WorkerPool::HelperLoop(int worker) {
    unsigned long seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || (open_ && loopNo_ != seen); });
        if (quit_)
            return;
        seen = loopNo_;
        ++inside_;
        lock.unlock();
        Work(worker, nullptr);
        lock.lock();
        if (--inside_ == 0 && !open_)
            left_.notify_one();
    }
}

void WorkerPool::Work(int worker, const std::function<bool()>* stopped) {
    while (!end_.load()) {
        if (stopped != nullptr && (*stopped)()) {
            stoppedByCaller_ = true;
            end_ = true;
            return;
        }
        const size_t index = next_.fetch_add(1);
        if (index >= count_)
            return;
        bool ok = false;
        try {
            ok = (*job_)(index, worker);
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;  // the loop fails for want of memory; the thread lives on
        } catch (...) {
        }
        if (!ok) {
            failed_ = true;
            end_ = true;
        }
    }
}

WorkerPool::Outcome WorkerPool::Run(size_t count, const Job& job,
                                    const std::function<bool()>& stopped, bool share) {
    if (count == 0)
        return Outcome::Done;
    const bool shared = share && threads_ > 1 && count > 1;
    if (shared && !started_)
        StartHelpers();
    const bool opened = shared && !helpers_.empty();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &job;
        count_ = count;
        next_ = 0;
        end_ = false;
        failed_ = false;
        outOfMemory_ = false;
        stoppedByCaller_ = false;
        open_ = opened;
        loopNo_ += opened ? 1 : 0;
    }
    if (opened)
        wake_.notify_all();
    Work(0, &stopped);
    {
        // Helpers that have not joined by now never will; the ones inside finish their job.
        std::unique_lock<std::mutex> lock(mutex_);
        open_ = false;
        left_.wait(lock, [this] { return inside_ == 0; });
    }
    if (stoppedByCaller_)
        return Outcome::Stopped;
    return failed_ ? Outcome::Failed : Outcome::Done;
}

}  // namespace j2000
