#pragma once
// The base of every picture decoder: one file in, one PackedDib out, progress reported
// row by row, failures reported by code, and a stop request that may come from another
// thread.
//
// Threads: a decoder is configured on the UI thread, then LoadFromFile runs on the image
// panel's loader thread and calls OnProgress and OnError there. Only AbortLoading (and
// AbortRequested) may be called from another thread while a decode runs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Components/ImgPanel/Filters.h"
#include "imaging/PackedDib.h"

// Stages of a decode, as reported to OnProgress.
enum class TImgEvent : uint8_t {
    HeaderRead = 0,   // the picture's size is known; the display coefficient may be set now
    RowsDecoded = 1,  // screen rows first..last (counted from the top, either order) are done
    Finished = 2,     // the picture is complete
};

// Weighting of the line resampler that some decoders use.
enum SCALETYPE : uint8_t {
    sctProport = 0,           // equal weights
    sctInverselyProport = 1,  // weights halve with the product of the distances
    sctSquare = 2,            // weights halve with its square
};

class TImgCtrl;

using TImgProgressEvent = std::function<void(TImgCtrl* Sender, PackedDib pDib, int nScanLineFrom,
                                             int nScanLineTo, TImgEvent ImgEvent)>;
using TImgErrorEvent = std::function<void(TImgCtrl* Sender, const std::string& sError)>;

// What a decode may take of the memory available now: all of it but room for the rest of
// the system (64 MiB, or an eighth when that is more). Empty when nothing is known.
std::optional<uint64_t> PictureBudget(std::optional<uint64_t> available);

// The coefficient that fits width x height into maxWidth x maxHeight: 0.1 when no target
// is set (a zero side), 1.0 when the picture is strictly smaller in both directions,
// else the ratio of the side that limits.
double CalcDisplayCoeff(unsigned maxWidth, unsigned maxHeight, unsigned width, unsigned height);

class TImgCtrl {
  public:
    static constexpr unsigned kDefaultDisplayScanlines = 20;
    static constexpr uint8_t kDefaultFilterKind = 12;

    TImgCtrl();
    virtual ~TImgCtrl();
    TImgCtrl(const TImgCtrl&) = delete;
    TImgCtrl& operator=(const TImgCtrl&) = delete;

    // Decodes name into the picture. The base version only discards the previous result;
    // every format calls it first. No exception leaves a format's LoadFromFile: a failure
    // ends with ErrorCode() set, no picture and one OnError call.
    virtual void LoadFromFile(const std::string& name);

    // Asks a running or later decode to stop at its next check (error code 995). The
    // request stays: a decoder once aborted stops every later decode too.
    void AbortLoading();
    bool AbortRequested() const;

    // Callbacks, called on the decoding thread.
    TImgProgressEvent OnProgress;
    TImgErrorEvent OnError;

    // Settings, written before a decode starts.
    void SetDisplayScanlines(unsigned rows);  // 0 counts as 1
    unsigned DisplayScanlines() const { return displayScanlines_; }
    void SetScalerMode(SCALETYPE mode) { scalerMode_ = mode; }
    SCALETYPE ScalerMode() const { return scalerMode_; }
    void SetFilterKind(uint8_t kind) { filterKind_ = kind; }
    uint8_t FilterKind() const { return filterKind_; }
    void SetMaxDisplaySize(unsigned width, unsigned height);
    unsigned MaxDisplayWidth() const { return maxDisplayWidth_; }
    unsigned MaxDisplayHeight() const { return maxDisplayHeight_; }
    // The wanted output size relative to the picture; set by a progress handler at
    // TImgEvent::HeaderRead, on the decoding thread.
    void SetDisplayCoeff(double coefficient) { displayCoeff_ = coefficient; }
    double DisplayCoeff() const { return displayCoeff_; }
    // Bytes a decode may take: the picture counted twice (its receiver builds a copy while
    // rows arrive) and everything else it holds (rows, matrices, library buffers) once. A
    // decode that would need more fails with 8 before it allocates. Empty: no limit beyond
    // the pixel cap.
    void SetMemoryBudget(std::optional<uint64_t> bytes) { memoryBudget_ = bytes; }
    std::optional<uint64_t> MemoryBudget() const { return memoryBudget_; }

    // Results. Read them on the decoding thread (inside a callback) or after the decode.
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }
    int OutputWidth() const { return outputWidth_; }
    int OutputHeight() const { return outputHeight_; }
    PackedDib Picture() const { return picture_.get(); }
    // Hands the finished picture over; the decoder keeps none. Called on the decoding
    // thread from the Finished callback, or after the decode.
    UniqueDib TakePicture() { return std::move(picture_); }
    const std::string& FileName() const { return fileName_; }
    unsigned long ErrorCode() const { return errorCode_; }

  protected:
    // Calls OnProgress with this decoder and the picture. Negative rows are clamped to 0.
    void DoProgress(int nScanLineFrom, int nScanLineTo, TImgEvent ImgEvent);
    // Calls OnError with the text of code.
    void DoError(unsigned long code);
    // Throws TImgDecodeError{995} when a stop was asked for.
    void CheckAbort() const;

    // The decode frame every format follows: runs body; on success reports Finished and
    // records the file name; on a failure (TImgDecodeError, or any other exception as
    // 3000) frees the picture and records the code. Whatever body set up is released by its
    // own RAII before OnError is called.
    void RunDecodeFrame(const std::string& name, const std::function<void()>& body);
    // The rows the frame reports with Finished: the output height twice (the last row is
    // done) unless a format reports otherwise.
    virtual std::pair<int, int> FinishedRows() const { return {outputHeight_, outputHeight_}; }

    // Fills the picture's rows top row first (the last row of the bottom-up block): a stop
    // check before each row, makeRow(row) to fill it, and a RowsDecoded report every
    // DisplayScanlines() rows.
    void MakeRowsTopDown(const std::function<void(uint8_t* row)>& makeRow);

    void SetPicture(PackedDib picture) { picture_.reset(picture); }
    // Makes the picture every format decodes into (zero-filled, rows bottom-up). The size
    // comes from the file, so it is checked against the budget, beside what is reserved,
    // before anything is allocated; throws TImgDecodeError{8} when it does not fit or
    // cannot be made. pages as for DibAlloc.
    void CreatePicture(int width, int height, int bitCount, DibPages pages = DibPages::Small);
    // CreatePicture's check alone: throws TImgDecodeError{8} when such a picture would not
    // fit or cannot be made.
    void CheckPictureFits(int width, int height, int bitCount) const;
    // Counts bytes of working memory (rows, matrices, library buffers) against the budget
    // before they are allocated; throws TImgDecodeError{8} when they would not fit beside
    // what is reserved already and the picture. Every decode starts with nothing reserved.
    void ReserveMemory(uint64_t bytes);
    // What the budget leaves beside the reservations and the picture; UINT64_MAX without a
    // budget.
    uint64_t MemoryLeft() const;
    // Opens the line filter that scales decoded rows into a 24-bit picture (at 1:1 with a
    // kernel exact there it copies them straight, see filter_open), takes the output size
    // from it and makes that picture; the filter stays open until the guard goes.
    // Throws the filter's code when it cannot be opened, and as CreatePicture does.
    [[nodiscard]] FilterGuard OpenFilteredPicture(FilterParams& filter);
    const std::atomic<bool>* AbortFlag() const { return &abort_; }

    int height_ = 0;
    int width_ = 0;
    int bitCount_ = 0;
    int outputHeight_ = 0;
    int outputWidth_ = 0;
    std::unique_ptr<RgbQuad[]> paletteTable_;  // a palette a format builds on the heap

  private:
    std::atomic<bool> abort_{false};
    UniqueDib picture_;
    std::string fileName_;
    unsigned long errorCode_ = 0;
    double displayCoeff_ = 0.0;
    std::optional<uint64_t> memoryBudget_;
    uint64_t reserved_ = 0;      // working memory of the current decode
    uint64_t pictureBytes_ = 0;  // the picture of the current decode
    unsigned maxDisplayWidth_ = 0;
    unsigned maxDisplayHeight_ = 0;
    SCALETYPE scalerMode_ = sctSquare;
    unsigned displayScanlines_ = kDefaultDisplayScanlines;
    uint8_t filterKind_ = kDefaultFilterKind;
};
