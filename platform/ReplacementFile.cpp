#include "platform/ReplacementFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

namespace platform {

namespace {

// Leaves room for the prefix and suffix within NAME_MAX (255) bytes.
constexpr size_t kMaxBaseBytes = 200;
constexpr int kNameAttempts = 100;

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 generator{std::random_device{}()};
    char text[32];
    std::snprintf(text, sizeof text, "%08x%04x", static_cast<unsigned>(generator()),
                  counter.fetch_add(1) & 0xffffu);
    return text;
}

std::string TemporaryName(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > kMaxBaseBytes) {
        base.resize(kMaxBaseBytes);
    }
    return folder + "." + base + "." + UniqueSuffix() + ".part";
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    Discard();
}

int ReplacementFile::Create(const std::string& target, mode_t mode) {
    Discard();
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
        std::string candidate = TemporaryName(target);
        error = file_.Open(candidate, O_WRONLY | O_CREAT | O_EXCL, mode);
        if (error == 0) {
            target_ = target;
            tempPath_ = std::move(candidate);
        }
    }
    return error;
}

int ReplacementFile::Commit() {
    if (tempPath_.empty()) {
        return EBADF;
    }
    int error = file_.Close();
    if (error == 0 && ::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        Discard();
        return error;
    }
    tempPath_.clear();
    return 0;
}

void ReplacementFile::Discard() {
    file_.Close();
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

int ReplaceFileContents(const std::string& path, std::string_view data, mode_t mode) {
    ReplacementFile replacement;
    int error = replacement.Create(path, mode);
    if (error == 0) {
        error = replacement.File().WriteAll(data.data(), data.size());
    }
    if (error == 0) {
        error = replacement.File().Sync();
    }
    if (error == 0) {
        error = replacement.Commit();
    }
    return error;
}

}  // namespace platform
