#pragma once
// The image panel's loader thread: runs one decoder's LoadFromFile on a thread of its own.
//
// Owned by the panel and always joined (WaitFor, or the destructor): stopping a load is the
// decoder's AbortLoading followed by WaitFor. The thread never waits for the UI thread.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "Components/ImgPanel/ImgCtrl.h"

// Scheduling priority of the loader thread, lowest to highest.
enum TThreadPriority : uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical,
};

class TGraphicThread {
  public:
    // decoder is not owned and must outlive the thread; whenEnded runs on the thread as
    // its last act.
    TGraphicThread(std::string fileName, TImgCtrl* decoder, std::function<void()> whenEnded);
    ~TGraphicThread();
    TGraphicThread(const TGraphicThread&) = delete;
    TGraphicThread& operator=(const TGraphicThread&) = delete;

    void Start(TThreadPriority priority);
    // Waits for the thread's end; returns at once when it never started or was joined.
    void WaitFor();

  private:
    void Execute(TThreadPriority priority);

    const std::string fileName_;
    TImgCtrl* const decoder_;
    const std::function<void()> whenEnded_;
    std::thread thread_;
};
