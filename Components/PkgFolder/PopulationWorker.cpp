#include "Components/PkgFolder/PopulationWorker.h"

PopulationWorker::PopulationWorker(ResultHandler onResult)
    : worker_(
          [this](Request& request, const std::atomic<bool>& abort) { return Read(request, abort); },
          [onResult = std::move(onResult)](std::shared_ptr<Result>& result) { onResult(result); }) {
}

PopulationWorker::~PopulationWorker() = default;

void PopulationWorker::Submit(Request request) {
    worker_.Submit(std::move(request));
}

std::shared_ptr<PopulationWorker::Result> PopulationWorker::Read(Request& request,
                                                                 const std::atomic<bool>& abort) {
    done_ = 0;
    auto result = std::make_shared<Result>();
    result->item = request.item;
    result->generation = request.generation;
    result->folder = request.folder;
    result->outcome = ReadChildren(request.folder, request.options, &abort, &done_);
    return result;
}
