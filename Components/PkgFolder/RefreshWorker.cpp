#include "Components/PkgFolder/RefreshWorker.h"

RefreshWorker::RefreshWorker(ResultHandler onResult)
    : worker_([](RefreshBatch& batch,
                 const std::atomic<bool>& abort) { return ComputeRefresh(batch, &abort); },
              std::move(onResult)) {}

RefreshWorker::~RefreshWorker() = default;

void RefreshWorker::Submit(RefreshBatch batch) {
    worker_.Submit(std::move(batch));
}

void RefreshWorker::SetBatchTakenHook(std::function<void()> hook) {
    worker_.SetTakenHook(std::move(hook));
}
