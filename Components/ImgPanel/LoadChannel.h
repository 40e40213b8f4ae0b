#pragma once
// The hand-over from the loader thread to the panel: what a load reports, and the
// mutex-guarded queue that carries it.
//
// Everything the UI thread learns about a running load travels as a LoadReport: plain
// values and copies of finished picture rows, never a pointer into the decoder. The queue's
// mutex orders the loader's writes before the UI's reads; the loader never waits for the
// UI thread beyond that short lock.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "imaging/PackedDib.h"

struct LoadReport {
    enum class Kind : uint8_t {
        Header,    // the picture's own size is known
        Rows,      // a copy of finished screen rows
        Finished,  // the picture is complete (its last rows came just before)
        Error,     // the load failed; text is what the panel shows
        Ended,     // the loader thread is about to end
    };

    Kind kind = Kind::Header;
    uint64_t generation = 0;

    // Header: the picture's own size.
    int pictureWidth = 0;
    int pictureHeight = 0;

    // Rows: the layout of the decoded picture and a copy of screen rows
    // firstRow..lastRow (top row 0), stored as in the picture (bottom row first).
    int dibWidth = 0;
    int dibHeight = 0;
    int dibBitCount = 0;
    std::vector<RgbQuad> palette;
    int firstRow = 0;
    int lastRow = -1;
    std::vector<uint8_t> rows;

    // Finished: the decoder's own picture, handed over rather than copied (at a large
    // fixed scale a third copy of it may not fit); null when it could not be taken.
    UniqueDib picture;

    // Error.
    std::string text;
};

class LoadChannel {
  public:
    // Loader thread: queues a report. True when the UI has to be woken to drain the
    // queue (no wake-up is pending yet).
    bool Post(LoadReport&& report);

    // UI thread: takes every queued report of this generation, in order; reports of
    // other generations are dropped. The next Post wakes the UI again.
    std::vector<LoadReport> Take(uint64_t generation);

    // UI thread: drops whatever is queued.
    void Discard();

  private:
    std::mutex mutex_;
    std::vector<LoadReport> queue_;
    bool wakePending_ = false;
};
