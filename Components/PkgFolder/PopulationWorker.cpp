#include "Components/PkgFolder/PopulationWorker.h"

PopulationWorker::PopulationWorker(ResultHandler onResult, ProgressHandler onProgress)
    : onProgress_(std::move(onProgress)),
      progressWaker_([this] {
          if (onProgress_)
              onProgress_();
      }),
      worker_(
          [this](Request& request, const std::atomic<bool>& abort) { return Read(request, abort); },
          [onResult = std::move(onResult)](std::shared_ptr<Result>& result) { onResult(result); }) {
}

PopulationWorker::~PopulationWorker() = default;

void PopulationWorker::Submit(Request request) {
    readsWaiting_.fetch_add(1);
    worker_.Submit(std::move(request));
}

void PopulationWorker::SubmitButtons(HTREEITEM item, std::uint64_t generation,
                                     std::shared_ptr<ButtonWork> work) {
    if (!work)
        return;
    Request request;
    request.item = item;
    request.generation = generation;
    request.buttons = std::move(work);
    worker_.Submit(std::move(request));
}

void PopulationWorker::SetCountedHook(std::function<void(int)> hook) {
    std::lock_guard lock(hookMutex_);
    countedHook_ = std::move(hook);
}

std::shared_ptr<PopulationWorker::Result> PopulationWorker::Read(Request& request,
                                                                 const std::atomic<bool>& abort) {
    if (request.buttons)
        return SettleStep(request, abort);
    readsWaiting_.fetch_sub(1);
    done_ = 0;
    std::function<void(int)> hook;
    {
        std::lock_guard lock(hookMutex_);
        hook = countedHook_;
    }
    auto result = std::make_shared<Result>();
    result->item = request.item;
    result->generation = request.generation;
    result->folder = request.folder;
    result->cancelled = request.cancelled;
    const auto stop = [&abort, cancelled = request.cancelled.get()] {
        return abort.load(std::memory_order_relaxed) ||
               (cancelled && cancelled->load(std::memory_order_relaxed));
    };
    result->outcome = ReadChildren(request.folder, request.options, stop, [&](int done) {
        Counted(done);
        if (hook)
            hook(done);
    });
    if (!stop())
        SubmitButtons(request.item, request.generation, std::move(result->outcome.pendingButtons));
    return result;
}

std::shared_ptr<PopulationWorker::Result> PopulationWorker::SettleStep(
    Request& request, const std::atomic<bool>& abort) {
    auto result = std::make_shared<Result>();
    result->item = request.item;
    result->generation = request.generation;
    result->buttonsOnly = true;
    if (request.generation != liveGeneration_.load())
        return result;  // the tree was rebuilt: nobody shows these items any more
    // A folder the user opens waits for no more than the button being worked out: the step
    // yields to it after each button (at least one a step, so that steps always move on).
    bool first = true;
    result->buttons = SettleButtons(*request.buttons, kButtonsPerStep, [&] {
        const bool yield = !first && readsWaiting_.load() > 0;
        first = false;
        return yield || abort.load(std::memory_order_relaxed);
    });
    // The rest goes behind what was asked meanwhile.
    if (request.buttons->next < request.buttons->items.size() && !abort)
        SubmitButtons(request.item, request.generation, std::move(request.buttons));
    return result;
}

void PopulationWorker::Counted(int done) {
    done_.store(done);
    if (progressWanted_.load() && progressWanted_.exchange(false))
        progressWaker_.Post();
}
