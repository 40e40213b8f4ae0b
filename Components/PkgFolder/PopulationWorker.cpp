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
    worker_.Submit(std::move(request));
}

void PopulationWorker::SetCountedHook(std::function<void(int)> hook) {
    std::lock_guard lock(hookMutex_);
    countedHook_ = std::move(hook);
}

std::shared_ptr<PopulationWorker::Result> PopulationWorker::Read(Request& request,
                                                                 const std::atomic<bool>& abort) {
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
    result->outcome = ReadChildren(request.folder, request.options, &abort, [&](int done) {
        Counted(done);
        if (hook)
            hook(done);
    });
    return result;
}

void PopulationWorker::Counted(int done) {
    done_.store(done);
    if (progressWanted_.load() && progressWanted_.exchange(false))
        progressWaker_.Post();
}
