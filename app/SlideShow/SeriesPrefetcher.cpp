#include "app/SlideShow/SeriesPrefetcher.h"

#include <QFile>
#include <algorithm>

#include "imaging/JpgImage.h"

namespace slideshow {

namespace {

std::vector<std::string> NativeNames(const QStringList& files) {
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const QString& file : files) {
        names.push_back(QFile::encodeName(file).toStdString());
    }
    return names;
}

}  // namespace

int SeriesPrefetcher::WorkerCount() {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::max(cores - 1, 1);
}

SeriesPrefetcher::SeriesPrefetcher(const QStringList& files, int denominator, int workers)
    : files_(NativeNames(files)),
      denominator_(denominator),
      ahead_(AheadFor(std::max(workers, 1))),
      pictures_(files_.size()),
      finished_(files_.size(), 0) {
    const int count = std::min<int>(std::max(workers, 1), static_cast<int>(files_.size()));
    workers_.reserve(count);
    for (int i = 0; i < count; ++i) {
        workers_.emplace_back([this] { Run(); });
    }
}

SeriesPrefetcher::~SeriesPrefetcher() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        for (TJpgImage* loader : running_) {
            loader->AbortLoading();
        }
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

UniqueDib SeriesPrefetcher::TakeNext() {
    std::unique_lock lock(mutex_);
    if (taken_ >= files_.size()) {
        return nullptr;
    }
    changed_.wait(lock, [this] { return finished_[taken_] != 0; });
    UniqueDib picture = std::move(pictures_[taken_]);
    ++taken_;
    lock.unlock();
    changed_.notify_all();
    return picture;
}

bool SeriesPrefetcher::Claim(size_t* index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock,
                  [this] { return stop_ || next_ >= files_.size() || next_ < taken_ + ahead_; });
    if (stop_ || next_ >= files_.size()) {
        return false;
    }
    *index = next_++;
    return true;
}

void SeriesPrefetcher::Run() {
    size_t index = 0;
    while (Claim(&index)) {
        UniqueDib picture = Decode(files_[index]);
        {
            const std::lock_guard lock(mutex_);
            pictures_[index] = std::move(picture);
            finished_[index] = 1;
        }
        changed_.notify_all();
    }
}

UniqueDib SeriesPrefetcher::Decode(const std::string& name) {
    TJpgImage loader;
    {
        const std::lock_guard lock(mutex_);
        if (stop_) {
            return nullptr;
        }
        running_.push_back(&loader);
    }
    PackedDib copy = nullptr;
    try {
        loader.LoadFromFile(name, denominator_);
        copy = loader.ReleasePicture().release();
    } catch (...) {
        copy = nullptr;  // an unreadable picture: the taker reports it
    }
    const std::lock_guard lock(mutex_);
    running_.erase(std::find(running_.begin(), running_.end(), &loader));
    return UniqueDib(copy);
}

}  // namespace slideshow
