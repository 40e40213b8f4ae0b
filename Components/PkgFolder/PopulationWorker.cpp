#include "Components/PkgFolder/PopulationWorker.h"

PopulationWorker::PopulationWorker(ResultHandler onResult)
    : onResult_(std::move(onResult)),
      waker_([this] { DeliverResults(); }),
      thread_([this] { Run(); }) {}

PopulationWorker::~PopulationWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    abort_ = true;
    wake_.notify_all();
    thread_.join();
}

void PopulationWorker::Submit(Request request) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(request));
    }
    wake_.notify_one();
}

void PopulationWorker::Run() {
    for (;;) {
        Request request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            request = std::move(queue_.front());
            queue_.pop_front();
        }
        done_ = 0;
        auto result = std::make_shared<Result>();
        result->item = request.item;
        result->generation = request.generation;
        result->folder = request.folder;
        result->outcome = ReadChildren(request.folder, request.options, &abort_, &done_);
        if (abort_)
            return;
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            first = results_.empty();
            results_.push_back(std::move(result));
        }
        if (first) {
            waker_.Post();
        }
    }
}

void PopulationWorker::DeliverResults() {
    std::deque<std::shared_ptr<Result>> results;
    {
        std::lock_guard lock(mutex_);
        results.swap(results_);
    }
    for (const auto& result : results) {
        onResult_(result);
    }
}
