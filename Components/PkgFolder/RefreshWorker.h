#pragma once
// The folder tree's refresh thread: compares snapshots of the tree with the disk, one batch
// at a time in order of arrival, and queues each result for the UI thread, which a posted
// wake-up makes apply it. It never touches the tree. Made and destroyed (stop flag, then
// join) on the UI thread.

#include "Components/PkgFolder/OrderedWorker.h"
#include "Components/PkgFolder/RefreshPass.h"

#include <functional>

class RefreshWorker {
  public:
    using ResultHandler = std::function<void(RefreshResult&)>;

    // `onResult` runs on the UI thread, the thread that makes the worker.
    explicit RefreshWorker(ResultHandler onResult);
    ~RefreshWorker();
    RefreshWorker(const RefreshWorker&) = delete;
    RefreshWorker& operator=(const RefreshWorker&) = delete;

    void Submit(RefreshBatch batch);
    // Runs on the worker each time it has taken a batch, before it reads the disk (tests
    // hold the worker there to change the tree under it).
    void SetBatchTakenHook(std::function<void()> hook);

  private:
    OrderedWorker<RefreshBatch, RefreshResult> worker_;
};
