#pragma once
// Decodes the pictures of a series on worker threads, ahead of the UI thread that takes
// them in series order, so that several pictures decode at once and thumbnails and
// progress overlap the decoding. The workers take the file names and scale by value, never
// touch a widget, and run at most AheadFor(workers) pictures past the ones the UI thread
// has taken.
// Destroying the prefetcher aborts the decodes under way and joins every worker.

#include <QStringList>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/PackedDib.h"

class TJpgImage;

namespace slideshow {

class SeriesPrefetcher {
  public:
    // Workers the machine offers a series: every core but the one the UI thread keeps
    // busy with thumbnails and progress (at least one). The loading rule's memory check
    // may allow fewer (slideshow::WorkersThatFit).
    static int WorkerCount();
    // Pictures decoded or in flight beyond the ones the UI thread has taken: three per
    // worker, so the others keep decoding while one picture the UI thread waits for is
    // late. Workers hand their picture over without a copy, so this is the loading rule's
    // allowance of three pictures per decoder.
    static size_t AheadFor(int workers) { return 3 * static_cast<size_t>(workers); }

    SeriesPrefetcher(const QStringList& files, int denominator, int workers = WorkerCount());
    ~SeriesPrefetcher();
    SeriesPrefetcher(const SeriesPrefetcher&) = delete;
    SeriesPrefetcher& operator=(const SeriesPrefetcher&) = delete;

    // The next picture in series order; null when it could not be decoded, and after the
    // last picture. Waits only for decodes already under way.
    UniqueDib TakeNext();

  private:
    void Run();
    bool Claim(size_t* index);
    UniqueDib Decode(const std::string& name);

    const std::vector<std::string> files_;
    const int denominator_;
    const size_t ahead_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<UniqueDib> pictures_;
    std::vector<char> finished_;
    size_t next_ = 0;   // the next picture a worker claims
    size_t taken_ = 0;  // pictures handed to the UI thread
    bool stop_ = false;
    std::vector<TJpgImage*> running_;  // decodes under way, for an abort
    std::vector<std::thread> workers_;
};

}  // namespace slideshow
