#pragma once
// Threads that share out the bands of one piece of work with the thread that asks for it,
// kept for the life of the process so that asking costs a wake-up, not a thread start. The
// caller takes bands itself and returns as soon as every band is done: a helper the system
// has not scheduled yet simply finds nothing left, so a busy machine slows a frame down to
// the caller's own pace at worst, never below it. One piece of work runs at a time.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class BandPool {
  public:
    // band in [0, bands), worker in [0, workers): 0 is the caller, and no two threads run
    // with one worker number at once, so per-worker scratch needs no lock.
    using BandWork = std::function<void(int band, int worker)>;

    // The process's pool: one helper per hardware thread but the caller's.
    static BandPool& Shared();

    explicit BandPool(int helpers);
    ~BandPool();  // stops and joins the helpers
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    // Runs work for every band on up to `workers` threads, this one included, and returns
    // when all bands are done. work must not throw.
    void Run(int bands, int workers, const BandWork& work);

  private:
    struct Job {
        const BandWork* work = nullptr;
        int bands = 0;
        int workers = 1;
        std::atomic<int> nextBand{0};
        std::atomic<int> doneBands{0};
        std::atomic<int> nextWorker{1};
    };

    void HelperLoop();
    void TakeBands(Job& job, int worker);

    std::mutex runMutex_;  // one job at a time
    std::mutex mutex_;     // guards the fields below
    std::condition_variable wake_;
    std::condition_variable finished_;
    Job* job_ = nullptr;
    std::uint64_t generation_ = 0;
    int active_ = 0;  // helpers holding job_
    bool stopping_ = false;
    std::vector<std::thread> helpers_;
};
