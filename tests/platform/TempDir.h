#pragma once
// A fresh folder under $TMPDIR (or /tmp) that is removed with everything in it when the
// object goes away, plus small file helpers for building fixtures.

#include <string>
#include <string_view>
#include <vector>

namespace platform_test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // path_ + "/" + relative
    std::string operator/(std::string_view relative) const;

  private:
    std::string path_;
};

// Creates the file with its parent folders; fails the running test on error.
void WriteFile(const std::string& path, std::string_view content);
std::string ReadFile(const std::string& path);
void MakeFolders(const std::string& path);
// A symbolic link at linkPath (parents created) pointing at target, which is stored as given.
void MakeLink(const std::string& target, const std::string& linkPath);
bool PathExists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace platform_test
