#include "platform/FileCopy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "TempDir.h"

namespace {

using platform::CopyFile;
using platform::CopyMode;
using platform::CopyResult;
using platform::CopyStage;
using platform_test::ListFolder;
using platform_test::PathExists;
using platform_test::ReadFile;
using platform_test::TempDir;
using platform_test::WriteFile;

// Larger than the copy buffer, and not a multiple of it.
std::string PictureBytes() {
    std::string bytes(size_t{1} << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7919) >> 3);
    }
    return bytes + "tail";
}

const char* ModeName(CopyMode mode) {
    return mode == CopyMode::FailIfExists ? "fail-if-exists" : "replace";
}

}  // namespace

namespace platform {
void PrintTo(CopyMode mode, std::ostream* os) {
    *os << ModeName(mode);
}
}  // namespace platform

namespace {

class FileCopyTest : public ::testing::TestWithParam<CopyMode> {
  protected:
    TempDir dir_;
};

TEST_P(FileCopyTest, CopiesTheBytesAndKeepsModificationTimeAndMode) {
    const std::string source = dir_ / "src/picture.jpg";
    const std::string target = dir_ / "dst/copy.jpg";
    WriteFile(source, PictureBytes());
    platform_test::MakeFolders(dir_ / "dst");
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    ASSERT_EQ(::chmod(source.c_str(), 0640), 0);

    const CopyResult result = CopyFile(source, target, GetParam());
    ASSERT_TRUE(result.Ok()) << result.error << " at " << platform::CopyStageName(result.stage);
    EXPECT_EQ(result.stage, CopyStage::None);
    EXPECT_EQ(ReadFile(target), PictureBytes());
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(ListFolder(dir_ / "dst"), std::vector<std::string>{"copy.jpg"});
}

TEST_P(FileCopyTest, CopiesEmptyFiles) {
    WriteFile(dir_ / "empty", "");
    ASSERT_TRUE(CopyFile(dir_ / "empty", dir_ / "copy", GetParam()).Ok());
    EXPECT_TRUE(PathExists(dir_ / "copy"));
    EXPECT_EQ(ReadFile(dir_ / "copy"), "");
}

struct FailureCase {
    const char* name;
    void (*prepare)(const TempDir& dir);
    const char* source;
    const char* target;
    int error;
    CopyStage stage;
};

void PrepareSourceOnly(const TempDir& dir) {
    WriteFile(dir / "src", "source");
}
void PrepareNothing(const TempDir&) {}
void PrepareFileAsParent(const TempDir& dir) {
    WriteFile(dir / "src", "source");
    WriteFile(dir / "blocker", "a file, not a folder");
}
void PrepareFolderSource(const TempDir& dir) {
    platform_test::MakeFolders(dir / "folder");
}

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class FileCopyFailureTest : public ::testing::TestWithParam<std::tuple<FailureCase, CopyMode>> {};

TEST_P(FileCopyFailureTest, ReportsErrnoAndStageAndLeavesNoTarget) {
    const auto& [c, mode] = GetParam();
    TempDir dir;
    c.prepare(dir);
    const CopyResult result = CopyFile(dir / c.source, dir / c.target, mode);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.stage, c.stage) << platform::CopyStageName(result.stage);
    EXPECT_FALSE(result.Ok());
    EXPECT_FALSE(PathExists(dir / c.target));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileCopyFailureTest,
    ::testing::Combine(
        ::testing::Values(FailureCase{"missing_source", PrepareNothing, "nothing", "target", ENOENT,
                                      CopyStage::OpenSource},
                          FailureCase{"missing_target_folder", PrepareSourceOnly, "src",
                                      "no/such/target", ENOENT, CopyStage::CreateTarget},
                          FailureCase{"target_parent_is_a_file", PrepareFileAsParent, "src",
                                      "blocker/target", ENOTDIR, CopyStage::CreateTarget},
                          FailureCase{"source_is_a_folder", PrepareFolderSource, "folder", "target",
                                      EISDIR, CopyStage::OpenSource}),
        ::testing::Values(CopyMode::FailIfExists, CopyMode::Replace)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" +
               (std::get<1>(info.param) == CopyMode::FailIfExists ? "exclusive" : "replace");
    });

TEST(FileCopyModeTest, FailIfExistsLeavesAnExistingTargetAlone) {
    TempDir dir;
    WriteFile(dir / "src", "new");
    WriteFile(dir / "target", "old");
    const CopyResult result = CopyFile(dir / "src", dir / "target", CopyMode::FailIfExists);
    EXPECT_EQ(result.error, EEXIST);
    EXPECT_EQ(result.stage, CopyStage::CreateTarget);
    EXPECT_EQ(ReadFile(dir / "target"), "old");
}

TEST(FileCopyModeTest, FailIfExistsDoesNotFollowALinkAtTheTarget) {
    TempDir dir;
    WriteFile(dir / "src", "new");
    platform_test::MakeLink("elsewhere", dir / "target");
    EXPECT_EQ(CopyFile(dir / "src", dir / "target", CopyMode::FailIfExists).error, EEXIST);
    EXPECT_FALSE(PathExists(dir / "elsewhere"));
}

TEST(FileCopyModeTest, ReplaceOverwritesAndLeavesNoTemporaryFile) {
    TempDir dir;
    WriteFile(dir / "src", "new content");
    WriteFile(dir / "target", "old content that was longer");
    ASSERT_TRUE(CopyFile(dir / "src", dir / "target", CopyMode::Replace).Ok());
    EXPECT_EQ(ReadFile(dir / "target"), "new content");
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"src", "target"}));
}

TEST(FileCopyModeTest, ReplacingAFolderFailsAtTheRenameAndCleansUp) {
    TempDir dir;
    WriteFile(dir / "src", "x");
    platform_test::MakeFolders(dir / "target");
    const CopyResult result = CopyFile(dir / "src", dir / "target", CopyMode::Replace);
    EXPECT_EQ(result.error, EISDIR);
    EXPECT_EQ(result.stage, CopyStage::Rename);
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"src", "target"}));
}

TEST(FileCopyModeTest, ReplacingAFileWithItselfKeepsItsBytes) {
    TempDir dir;
    WriteFile(dir / "same", "unchanged");
    ASSERT_TRUE(CopyFile(dir / "same", dir / "same", CopyMode::Replace).Ok());
    EXPECT_EQ(ReadFile(dir / "same"), "unchanged");
}

TEST(FileCopyModeTest, QStringNamesKeepTheirBytes) {
    TempDir dir;
    const std::string name = "Bild \xC3\xA4\xE5\x86\x99.jpg";
    WriteFile(dir / name, "pixels");
    const QString source = QString::fromStdString(dir / name);
    const QString target = QString::fromStdString(dir / ("copy " + name));
    ASSERT_TRUE(CopyFile(source, target, CopyMode::FailIfExists).Ok());
    EXPECT_EQ(ReadFile(dir / ("copy " + name)), "pixels");
}

// Makes writes past limit bytes fail with EFBIG (a full disk as far as the copy can tell),
// without relying on permissions, which root ignores.
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = previous_;
        lowered.rlim_cur = limit;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        ::signal(SIGXFSZ, previousHandler_);
    }
    bool Ok() const { return ok_; }

  private:
    struct rlimit previous_ {};
    sighandler_t previousHandler_;
    bool ok_ = false;
};

TEST_P(FileCopyTest, AWriteFailureLeavesNoPartialTarget) {
    WriteFile(dir_ / "src", PictureBytes());
    WriteFile(dir_ / "existing", "the user's file");
    const std::string target = GetParam() == CopyMode::FailIfExists ? "new" : "existing";
    CopyResult result;
    {
        ScopedFileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Ok());
        result = CopyFile(dir_ / "src", dir_ / target, GetParam());
    }
    EXPECT_EQ(result.error, EFBIG) << ModeName(GetParam());
    EXPECT_EQ(result.stage, CopyStage::Write);
    EXPECT_EQ(ListFolder(dir_.Path()), (std::vector<std::string>{"existing", "src"}));
    EXPECT_EQ(ReadFile(dir_ / "existing"), "the user's file");
}

INSTANTIATE_TEST_SUITE_P(Modes, FileCopyTest,
                         ::testing::Values(CopyMode::FailIfExists, CopyMode::Replace),
                         [](const auto& info) {
                             return std::string(info.param == CopyMode::Replace ? "Replace"
                                                                                : "FailIfExists");
                         });

}  // namespace
