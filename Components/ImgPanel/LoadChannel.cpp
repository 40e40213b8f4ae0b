#include "Components/ImgPanel/LoadChannel.h"

#include <algorithm>

bool LoadChannel::Post(LoadReport&& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(report));
    if (wakePending_) {
        return false;
    }
    wakePending_ = true;
    return true;
}

std::vector<LoadReport> LoadChannel::Take(uint64_t generation) {
    std::vector<LoadReport> taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taken.swap(queue_);
        wakePending_ = false;
    }
    std::erase_if(taken, [generation](const LoadReport& r) { return r.generation != generation; });
    return taken;
}

void LoadChannel::Discard() {
    std::vector<LoadReport> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(queue_);
}
