#pragma once
// Reads folders for the tree on its own thread, one request at a time in order of arrival.
// Each result is queued for the UI thread, which a posted wake-up makes drain the queue; it
// carries the request's generation so that the tree drops results of a tree it has rebuilt
// since. Made and destroyed (abort, then join) on the UI thread.

#include "Components/PkgFolder/FolderPopulation.h"
#include "Components/PkgFolder/OrderedWorker.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class PopulationWorker {
  public:
    struct Request {
        HTREEITEM item = 0;
        std::uint64_t generation = 0;
        SShellFolderPtr folder;
        PopulationOptions options;
    };
    struct Result {
        HTREEITEM item = 0;
        std::uint64_t generation = 0;
        SShellFolderPtr folder;  // the folder as it was named when the request was made
        PopulationOutcome outcome;
    };
    using ResultHandler = std::function<void(const std::shared_ptr<Result>&)>;

    // `onResult` runs on the UI thread, the thread that makes the worker.
    explicit PopulationWorker(ResultHandler onResult);
    ~PopulationWorker();
    PopulationWorker(const PopulationWorker&) = delete;
    PopulationWorker& operator=(const PopulationWorker&) = delete;

    void Submit(Request request);
    // Items read by the request in progress (for a progress display).
    int Done() const { return done_.load(std::memory_order_relaxed); }

  private:
    std::shared_ptr<Result> Read(Request& request, const std::atomic<bool>& abort);

    std::atomic<int> done_{0};
    OrderedWorker<Request, std::shared_ptr<Result>> worker_;  // last: its thread reads done_
};
