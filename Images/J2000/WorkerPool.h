#pragma once
// The threads one decode shares its tile's work with: tier 1 of the code-blocks, the passes of
// the wavelet synthesis, the last sample stage. One loop of independent jobs runs at a time; the
// calling thread works on it too and is the only one that asks the caller's stop check, so a
// cancel hook is never called from another thread.
//
// Threads: made, used and destroyed by the decoding thread. The helpers start at the first
// loop with more than one job (a small picture starts none) and are joined by the destructor.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace j2000 {

class WorkerPool {
  public:
    // job(index, worker): false when the job failed, which ends the loop. `worker` is below
    // Threads() and names the thread running the job (0 the calling thread), for its scratch.
    using Job = std::function<bool(size_t index, int worker)>;
    enum class Outcome { Done, Stopped, Failed };

    // `threads` in all, the caller's included; 0 means one per hardware thread.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int Threads() const { return threads_; }

    // Runs job(i, worker) once for every i below count and returns when every job that started
    // has ended. The calling thread asks `stopped` before each job it takes; once that answers
    // true (Stopped), a job answers false or throws (Failed), no further job starts. Jobs of one
    // loop must not depend on each other. `share` false keeps a loop too small to repay waking
    // the helpers (tens of microseconds of their time) on the calling thread.
    Outcome Run(size_t count, const Job& job, const std::function<bool()>& stopped,
                bool share = true);
    // Whether the last loop failed for a job that found the memory short (std::bad_alloc).
    bool RanOutOfMemory() const { return outOfMemory_; }

  private:
    void StartHelpers();
    void HelperLoop(int worker);
    // Takes jobs until none is left or the loop ends; `stopped` only on the calling thread.
    void Work(int worker, const std::function<bool()>* stopped);

    const int threads_;
    std::mutex mutex_;
    std::condition_variable wake_;  // a loop opened, or the pool closes
    std::condition_variable left_;  // the last helper left a closed loop
    std::vector<std::thread> helpers_;
    bool started_ = false;
    bool quit_ = false;
    // The loop being run: set under the mutex before `open_`, read by helpers that joined it.
    const Job* job_ = nullptr;
    size_t count_ = 0;
    bool open_ = false;         // helpers may still join the loop
    unsigned long loopNo_ = 0;  // which loop is open, so that a helper joins each once
    int inside_ = 0;            // helpers working on the loop
    std::atomic<size_t> next_{0};
    std::atomic<bool> end_{false};  // no further job is to start
    std::atomic<bool> failed_{false};
    std::atomic<bool> outOfMemory_{false};
    bool stoppedByCaller_ = false;
};

}  // namespace j2000
