#include "Components/PkgFolder/RefreshWorker.h"

RefreshWorker::RefreshWorker(ResultHandler onResult)
    : onResult_(std::move(onResult)),
      waker_([this] { DeliverResults(); }),
      thread_([this] { Run(); }) {}

RefreshWorker::~RefreshWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        batches_.clear();
    }
    abort_ = true;
    wake_.notify_all();
    thread_.join();
}

void RefreshWorker::Submit(RefreshBatch batch) {
    {
        std::lock_guard lock(mutex_);
        batches_.push_back(std::move(batch));
    }
    wake_.notify_one();
}

void RefreshWorker::SetBatchTakenHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    batchTaken_ = std::move(hook);
}

void RefreshWorker::Run() {
    for (;;) {
        RefreshBatch batch;
        std::function<void()> hook;
        {
            // Whether work is waiting is only ever read under the lock; the thread ends on
            // its explicit flag, never because the queue happened to be empty.
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !batches_.empty(); });
            if (stopping_)
                return;
            batch = std::move(batches_.front());
            batches_.pop_front();
            hook = batchTaken_;
        }
        if (hook)
            hook();
        RefreshResult result = ComputeRefresh(batch, &abort_);
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

void RefreshWorker::DeliverResults() {
    std::deque<RefreshResult> results;
    {
        std::lock_guard lock(mutex_);
        results.swap(results_);
    }
    for (RefreshResult& result : results)
        onResult_(result);
}
