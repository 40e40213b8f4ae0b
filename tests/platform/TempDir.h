#pragma once
// A fresh folder under $TMPDIR (or /tmp, or a folder given), removed with everything in it
// when the object goes away, and small file helpers for building fixtures. The helpers create
// parent folders first; a failure fails the running test.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace platform_test {

class TempDir {
  public:
    explicit TempDir(const std::string& base = {}) {
        std::string pattern =
            ((base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base)) /
             "orvane-platform-XXXXXX")
                .string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr) << "mkdtemp failed: " << errno;
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view relative) const {
        return path_ + "/" + std::string(relative);
    }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, std::string_view content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
    EXPECT_TRUE(out.good()) << "cannot write " << path;
}

// target is stored as given.
inline void MakeLink(const std::string& target, const std::string& linkPath) {
    std::filesystem::create_directories(std::filesystem::path(linkPath).parent_path());
    std::filesystem::create_symlink(target, linkPath);
}

inline std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Links are not followed.
inline bool PathExists(const std::string& path) {
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

inline std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform_test
