#pragma once
// One load as the loader thread sees it: the decoder's callbacks land here.
//
// Threads: made on the UI thread before the loader thread starts, with everything it needs
// by value (a geometry snapshot, copies of the user's callbacks); afterwards only the
// loader thread calls it, until the UI thread has joined that thread. It never touches the
// widget: it calls the user's callbacks (which therefore run on the loader thread), sets
// the decoder's display coefficient from the snapshot, and posts reports to the channel,
// waking the panel (which then drains the channel on the UI thread).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/LoadChannel.h"
#include "Components/ImgPanel/PanelGeometry.h"

// What the panel shows for every decoder failure; the decoder's own text goes to the
// user's error callback only.
inline constexpr char kErrorLoadingFile[] = "Error loading file.";

class LoadSession {
  public:
    // wake is called (on the loader thread) whenever reports wait and no wake-up is
    // pending; it must only post, never block. It may be empty.
    LoadSession(uint64_t generation, FrameGeometry geometry, TImgProgressEvent userProgress,
                TImgErrorEvent userError, LoadChannel& channel, std::function<void()> wake);

    // The decoder's callbacks.
    void OnImageLoadingProgress(TImgCtrl* sender, PackedDib pDib, int nScanLineFrom,
                                int nScanLineTo, TImgEvent ImgEvent);
    void OnErrorOccur(TImgCtrl* sender, const std::string& sError);
    // The loader thread's last act.
    void OnLoaderEnded();

    uint64_t Generation() const { return generation_; }

  private:
    void Post(LoadReport&& report);
    void PostRows(PackedDib dib, int firstRow, int lastRow);

    const uint64_t generation_;
    const FrameGeometry geometry_;
    const TImgProgressEvent userProgress_;
    const TImgErrorEvent userError_;
    LoadChannel& channel_;
    const std::function<void()> wake_;

    std::vector<RgbQuad> paletteSent_;  // the palette as last sent
};
