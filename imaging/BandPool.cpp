#include "imaging/BandPool.h"

#include <algorithm>
#include <system_error>

BandPool& BandPool::Shared() {
    static BandPool pool(static_cast<int>(std::thread::hardware_concurrency()) - 1);
    return pool;
}

BandPool::BandPool(int helpers) {
    for (int i = 0; i < helpers; ++i) {
        try {
            helpers_.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break;  // fewer helpers: the caller takes the bands nobody else does
        }
    }
}

BandPool::~BandPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_) {
        helper.join();
    }
}

void BandPool::Run(int bands, int workers, const BandWork& work) {
    if (bands <= 0) {
        return;
    }
    const std::lock_guard running(runMutex_);
    Job job;
    job.work = &work;
    job.bands = bands;
    job.workers = std::clamp(workers, 1, static_cast<int>(helpers_.size()) + 1);
    if (job.workers > 1) {
        {
            const std::lock_guard lock(mutex_);
            job_ = &job;
            ++generation_;
        }
        wake_.notify_all();
    }
    TakeBands(job, 0);
    std::unique_lock lock(mutex_);
    // Helpers that joined in must let go of the job before it leaves this frame.
    finished_.wait(lock, [&] { return job.doneBands.load() == bands && active_ == 0; });
    job_ = nullptr;
}

void BandPool::TakeBands(Job& job, int worker) {
    for (int band = job.nextBand++; band < job.bands; band = job.nextBand++) {
        (*job.work)(band, worker);
        if (++job.doneBands == job.bands) {
            { const std::lock_guard lock(mutex_); }  // the caller is waiting or sees it
            finished_.notify_all();
        }
    }
}

void BandPool::HelperLoop() {
    std::unique_lock lock(mutex_);
    std::uint64_t seen = 0;
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || (job_ != nullptr && generation_ != seen); });
        if (stopping_) {
            return;
        }
        seen = generation_;
        Job* job = job_;
        ++active_;
        lock.unlock();
        const int worker = job->nextWorker++;
        if (worker < job->workers) {
            TakeBands(*job, worker);
        }
        lock.lock();
        if (--active_ == 0) {
            finished_.notify_all();
        }
    }
}
