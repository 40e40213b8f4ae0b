#include "Components/PkgFolder/WatchSink.h"

WatchSink::WatchSink(Handler handler) : handler_(std::move(handler)) {}

void WatchSink::Deliver(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (handler_)
        handler_(path);
}

void WatchSink::Revoke() {
    std::lock_guard lock(mutex_);
    handler_ = nullptr;
}
