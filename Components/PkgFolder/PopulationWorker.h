#pragma once
// Reads folders for the tree on its own thread, one request at a time in order of arrival.
// Each result is queued for the UI thread, which a posted wake-up makes drain the queue; it
// carries the request's generation so that the tree drops results of a tree it has rebuilt
// since. A read can be cancelled on its own (its folder was collapsed): it stops at the
// next item. The buttons of a large folder's items that the read left open are worked out
// afterwards, a step at a time, each step queued behind whatever was asked meanwhile and
// ended early, after the button it is on, when a folder read is waiting. While a
// folder is read, the UI thread can ask to be told when the count of items read next changes (one
// wake-up per request, so a display asks at its own pace and a tree that shows no progress costs
// the reading thread nothing). Made and destroyed (abort, then join) on the UI thread.

#include "Components/PkgFolder/FolderPopulation.h"
#include "Components/PkgFolder/OrderedWorker.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class PopulationWorker {
  public:
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;
    struct Request {
        HTREEITEM item = 0;
        std::uint64_t generation = 0;
        SShellFolderPtr folder;
        PopulationOptions options;
        CancelFlag cancelled;                 // set by the UI thread to end this read
        std::shared_ptr<ButtonWork> buttons;  // set: a step of buttons for `item`'s children
    };
    struct Result {
        HTREEITEM item = 0;
        std::uint64_t generation = 0;
        SShellFolderPtr folder;  // the folder as it was named when the request was made
        PopulationOutcome outcome;
        CancelFlag cancelled;
        bool buttonsOnly = false;  // a step of buttons: `buttons`, no children
        std::vector<SettledButton> buttons;
    };
    using ResultHandler = std::function<void(const std::shared_ptr<Result>&)>;
    using ProgressHandler = std::function<void()>;

    // Both handlers run on the UI thread, the thread that makes the worker; `onProgress`
    // runs once after each RequestProgress that returned false, when the count has changed,
    // and reads Done().
    explicit PopulationWorker(ResultHandler onResult, ProgressHandler onProgress = {});
    ~PopulationWorker();
    PopulationWorker(const PopulationWorker&) = delete;
    PopulationWorker& operator=(const PopulationWorker&) = delete;

    void Submit(Request request);
    // Steps of buttons of a generation other than this one are dropped unworked.
    void SetLiveGeneration(std::uint64_t generation) { liveGeneration_ = generation; }
    // Works out `work` for the children of `item` in steps (for folders read elsewhere).
    void SubmitButtons(HTREEITEM item, std::uint64_t generation, std::shared_ptr<ButtonWork> work);
    // Items read by the request in progress (for a progress display).
    int Done() const { return done_.load(std::memory_order_relaxed); }
    // UI thread: asks for the next change of the count after `shown`, the count the caller
    // drew last. True when the count differs already: the caller draws it now and nothing
    // is posted. Otherwise the next change calls the progress handler. Asking and counting
    // meet without a lock: each side writes its own atomic and then reads the other's, in
    // one total order, so a count that lands while the request is made is never missed
    // (a worker held up afterwards, by a slow folder, would leave it undrawn).
    bool RequestProgress(int shown) {
        progressWanted_.store(true);
        return done_.load() != shown && progressWanted_.exchange(false);
    }
    // Runs on the worker after each item read, with the count (tests hold the worker there).
    void SetCountedHook(std::function<void(int)> hook);

  private:
    std::shared_ptr<Result> Read(Request& request, const std::atomic<bool>& abort);
    std::shared_ptr<Result> SettleStep(Request& request, const std::atomic<bool>& abort);
    void Counted(int done);

    std::atomic<std::uint64_t> liveGeneration_{0};
    std::atomic<int> readsWaiting_{0};  // folder reads submitted and not yet begun
    std::atomic<int> done_{0};
    std::atomic<bool> progressWanted_{false};
    ProgressHandler onProgress_;
    platform::UiWaker progressWaker_;
    std::mutex hookMutex_;
    std::function<void(int)> countedHook_;
    OrderedWorker<Request, std::shared_ptr<Result>> worker_;  // last: its thread uses the above
};
