#include "Components/ImgPanel/GraphicThread.h"

#include <utility>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Linux keeps a nice value per thread. Lowering priority is always allowed; raising it
// needs privileges, and without them the thread simply stays at normal priority.
int NiceValueOf(TThreadPriority priority) {
    switch (priority) {
        case tpIdle:
            return 19;
        case tpLowest:
            return 10;
        case tpLower:
            return 5;
        case tpNormal:
            return 0;
        case tpHigher:
            return -5;
        case tpHighest:
            return -10;
        case tpTimeCritical:
            return -20;
    }
    return 0;
}

void ApplyPriority(TThreadPriority priority) {
    if (priority == tpNormal) {
        return;
    }
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), NiceValueOf(priority));
}

}  // namespace

TGraphicThread::TGraphicThread(std::string fileName, TImgCtrl* decoder,
                               std::function<void()> whenEnded)
    : fileName_(std::move(fileName)), decoder_(decoder), whenEnded_(std::move(whenEnded)) {}

TGraphicThread::~TGraphicThread() {
    WaitFor();
}

void TGraphicThread::Start(TThreadPriority priority) {
    if (!thread_.joinable()) {
        thread_ = std::thread(&TGraphicThread::Execute, this, priority);
    }
}

void TGraphicThread::WaitFor() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TGraphicThread::Execute(TThreadPriority priority) {
    ApplyPriority(priority);
    try {
        if (decoder_ != nullptr) {
            decoder_->LoadFromFile(fileName_);
        }
    } catch (...) {
        // Decoders report failures by code; anything else escaping is dropped here so
        // that it cannot end the process.
    }
    try {
        if (whenEnded_) {
            whenEnded_();
        }
    } catch (...) {
        // Same: nothing may leave the thread function.
    }
}
