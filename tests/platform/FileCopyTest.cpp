#include "platform/FileCopy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/ReplacementFile.h"

// Every sync, link and rename the copies make while a test records them: the order in
// which a copy reaches the disk cannot be told from the files afterwards. These stand in
// for the C library's functions in this test program and go to the kernel themselves.
namespace {

struct SyncTrace {
    std::string folder;  // links and renames are recorded when they name a file in it
    struct stat folderInfo {};
    std::vector<std::string> steps;
};
SyncTrace* g_trace = nullptr;

// Set, copy_file_range copies nothing from a file that reports a size of 0, as it did from
// proc and sys files on Linux 5.3 to 5.18 and as some FUSE file systems still do.
bool g_rangeStopsAtReportedSize = false;

void RecordSync(int fd) {
    struct stat info {};
    if (g_trace != nullptr && ::fstat(fd, &info) == 0) {
        const bool folder =
            info.st_dev == g_trace->folderInfo.st_dev && info.st_ino == g_trace->folderInfo.st_ino;
        g_trace->steps.push_back(S_ISDIR(info.st_mode) ? (folder ? "sync folder" : "sync other")
                                                       : "sync file");
    }
}

long RecordNaming(const char* verb, const char* to, long result) {
    const std::string path = to;
    if (g_trace != nullptr && result == 0 && path.starts_with(g_trace->folder + "/")) {
        const std::string name = path.substr(g_trace->folder.size() + 1);
        g_trace->steps.push_back(std::string(verb) + ' ' +
                                 (platform::IsTemporaryName(name) ? "hidden" : name));
    }
    return result;
}

}  // namespace

extern "C" {
int fsync(int fd) {
    RecordSync(fd);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}
int rename(const char* from, const char* to) noexcept {
    return static_cast<int>(
        RecordNaming("rename", to, ::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0)));
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
    return static_cast<int>(
        RecordNaming("rename", to, ::syscall(SYS_renameat2, fromDir, from, toDir, to, flags)));
}
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) noexcept {
    return static_cast<int>(
        RecordNaming("link", to, ::syscall(SYS_linkat, fromDir, from, toDir, to, flags)));
}
ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                        unsigned flags) {
    struct stat info {};
    if (g_rangeStopsAtReportedSize && ::fstat(in, &info) == 0 && info.st_size == 0) {
        return 0;
    }
    return ::syscall(SYS_copy_file_range, in, inOffset, out, outOffset, length, flags);
}
}

namespace {

using platform::CopyFile;
using platform::CopyMode;
using platform::CopyResult;
using platform::CopyStage;
using platform_test::ListFolder;
using platform_test::ReadFile;
using platform_test::WriteFile;
using Names = std::vector<std::string>;

const CopyMode kModes[] = {CopyMode::FailIfExists, CopyMode::Replace};

// The four ways a copy can be made: each mode, unnamed until complete or under a hidden
// name as on file systems without O_TMPFILE.
platform::CopyOptions Written(int way) {
    platform::CopyOptions options;
    options.allowUnnamed = way < 2;
    return options;
}

TEST(FileCopyTest, CopiesTheBytesModificationTimeAndMode) {
    // Larger than the copy buffer, and not a multiple of it.
    std::string bytes(size_t{1} << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = char((i * 7919) >> 3);
    }
    bytes += "tail";
    // Names reach the file system as their UTF-8 bytes.
    const char* name = "Bild \xC3\xA4\xE5\x86\x99.jpg";
    for (int way = 0; way < 4; ++way) {
        platform_test::TempDir dir;
        WriteFile(dir / "src/picture.jpg", bytes);
        WriteFile(dir / "src/empty.jpg", "");
        const struct timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "src/picture.jpg").c_str(), times, 0), 0);
        ASSERT_EQ(::chmod((dir / "src/picture.jpg").c_str(), 0640), 0);
        const CopyMode mode = kModes[way % 2];
        ASSERT_TRUE(CopyFile(dir / "src/picture.jpg", dir / "copy.jpg", mode, Written(way)).Ok());
        ASSERT_TRUE(CopyFile(QString::fromStdString(dir / "src/empty.jpg"),
                             QString::fromStdString(dir / name), mode, Written(way))
                        .Ok());
        EXPECT_EQ(ReadFile(dir / "copy.jpg"), bytes);
        EXPECT_EQ(ReadFile(dir / name), "");
        struct stat info {};
        ASSERT_EQ(::stat((dir / "copy.jpg").c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1234567890);
        EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
        EXPECT_EQ(info.st_mode & 0777, 0640u);
        // Replacing a longer file leaves no tail of it; a file replaced by itself stays.
        ASSERT_TRUE(CopyFile(dir / "src/empty.jpg", dir / "copy.jpg", CopyMode::Replace).Ok());
        ASSERT_TRUE(CopyFile(dir / name, dir / name, CopyMode::Replace, Written(way)).Ok());
        EXPECT_EQ(ReadFile(dir / "copy.jpg"), "");
        EXPECT_EQ(ListFolder(dir.Path()), (Names{name, "copy.jpg", "src"}));
    }
}

// A file that reports a size of 0 may still hold bytes (proc files, some network and FUSE
// file systems): its copy holds them all, whether copy_file_range refuses such a file (as
// current kernels refuse one on another file system) or copies nothing from it.
TEST(FileCopyTest, ASourceThatReportsNoSizeIsCopiedWhole) {
    const std::string source = "/proc/version";
    struct stat info {};
    ASSERT_EQ(::stat(source.c_str(), &info), 0);
    ASSERT_EQ(info.st_size, 0);
    const std::string bytes = ReadFile(source);
    ASSERT_FALSE(bytes.empty());
    for (bool rangeStops : {false, true}) {
        platform_test::TempDir dir;
        g_rangeStopsAtReportedSize = rangeStops;
        const CopyResult result = CopyFile(source, dir / "version", CopyMode::FailIfExists);
        g_rangeStopsAtReportedSize = false;
        ASSERT_TRUE(result.Ok()) << result.error;
        EXPECT_EQ(ReadFile(dir / "version"), bytes) << rangeStops;
    }
}

// Every failure names its errno and stage, and leaves the folder as it was: no target, no
// temporary, an existing file or link untouched.
TEST(FileCopyTest, FailuresReportErrnoAndStageAndLeaveTheFolderAsItWas) {
    const struct {
        const char* source;
        const char* target;
        std::optional<CopyMode> only;  // the mode the row applies to; both when empty
        int error;
        CopyStage stage;
    } cases[] = {{"missing", "target", {}, ENOENT, CopyStage::OpenSource},
                 {"folder", "target", {}, EISDIR, CopyStage::OpenSource},
                 {"fifo", "target", {}, platform::kNotRegularFile, CopyStage::OpenSource},
                 {"socket", "target", {}, platform::kNotRegularFile, CopyStage::OpenSource},
                 {"src", "no/such/target", {}, ENOENT, CopyStage::CreateTarget},
                 {"src", "src/target", {}, ENOTDIR, CopyStage::CreateTarget},
                 {"src", "old", CopyMode::FailIfExists, EEXIST, CopyStage::CreateTarget},
                 {"src", "link", CopyMode::FailIfExists, EEXIST, CopyStage::CreateTarget},
                 {"src", "folder", CopyMode::Replace, EISDIR, CopyStage::Rename}};
    platform_test::TempDir dir;
    WriteFile(dir / "src", "source");
    WriteFile(dir / "old", "the user's file");
    WriteFile(dir / "folder/inside", "");
    platform_test::MakeLink("elsewhere", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    (dir / "socket").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const Names before = ListFolder(dir.Path());
    for (int way = 0; way < 4; ++way) {
        for (const auto& c : cases) {
            if (c.only.value_or(kModes[way % 2]) != kModes[way % 2]) {
                continue;
            }
            const CopyResult result =
                CopyFile(dir / c.source, dir / c.target, kModes[way % 2], Written(way));
            EXPECT_EQ(result.error, c.error) << c.source << " to " << c.target << " " << way;
            EXPECT_EQ(result.stage, c.stage) << platform::CopyStageName(result.stage);
            EXPECT_EQ(ListFolder(dir.Path()), before);
        }
    }
    ::close(listener);
    EXPECT_EQ(ReadFile(dir / "old"), "the user's file");
    EXPECT_FALSE(platform_test::PathExists(dir / "elsewhere"));
}

// A file that another is replaced in trust of, or that goes over an existing one, has its
// bytes on the disk before it gets that name, and the name is made durable by syncing the
// folder afterwards: a power loss can never leave an empty or partial file where a
// picture was.
TEST(FileCopyTest, BytesReachTheDiskBeforeTheNameAndTheFolderAfter) {
    const struct {
        CopyMode mode;
        int way;  // Written(way); -1: moved instead of copied
        const char* steps;
    } rows[] = {
        {CopyMode::FailIfExistsDurable, 0, "sync file|link target|sync folder"},
        {CopyMode::FailIfExistsDurable, 2, "sync file|rename target|sync folder"},
        {CopyMode::Replace, 0, "sync file|link hidden|rename target|sync folder"},
        {CopyMode::Replace, 2, "sync file|rename target|sync folder"},
        {CopyMode::Replace, -1, "sync file|rename target|sync folder"},
    };
    for (const auto& row : rows) {
        platform_test::TempDir dir;
        WriteFile(dir / "src", "new");
        if (row.mode == CopyMode::Replace) {
            WriteFile(dir / "target", "old");
        }
        SyncTrace trace{dir.Path(), {}, {}};
        ASSERT_EQ(::stat(dir.Path().c_str(), &trace.folderInfo), 0);
        g_trace = &trace;
        const CopyResult result =
            row.way < 0 ? platform::MoveFile(QString::fromStdString(dir / "src"),
                                             QString::fromStdString(dir / "target"), row.mode)
                        : CopyFile(dir / "src", dir / "target", row.mode, Written(row.way));
        g_trace = nullptr;
        EXPECT_TRUE(result.Ok()) << row.steps;
        std::string steps;
        for (const std::string& step : trace.steps) {
            steps += (steps.empty() ? "" : "|") + step;
        }
        EXPECT_EQ(steps, row.steps) << static_cast<int>(row.mode) << " way " << row.way;
        EXPECT_EQ(ReadFile(dir / "target"), "new");
    }
}

// A copy that fails half way leaves no partial target and the old one intact: writes past
// 4 KiB fail with EFBIG, a full disk as far as the copy can tell (permissions would not
// do: root ignores them), or the caller stops the copy after its first chunk.
TEST(FileCopyTest, ACopyStoppedHalfWayLeavesNoPartialTargetAndTheOldOneIntact) {
    for (int way = 0; way < 8; ++way) {
        const CopyMode mode = kModes[way % 2];
        const bool stopped = way >= 4;
        platform_test::TempDir dir;
        WriteFile(dir / "src", std::string(100000, 'x'));
        WriteFile(dir / "existing", "the user's file");
        platform::CopyOptions options = Written(way % 4);
        options.chunkBytes = 4096;
        options.proceed = [stopped] { return !stopped; };
        struct rlimit previous {};
        ::getrlimit(RLIMIT_FSIZE, &previous);
        const sighandler_t handler = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = previous;
        lowered.rlim_cur = stopped ? previous.rlim_cur : 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
        const std::string target = mode == CopyMode::FailIfExists ? "new" : "existing";
        const CopyResult result = CopyFile(dir / "src", dir / target, mode, options);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        ::signal(SIGXFSZ, handler);
        EXPECT_EQ(result.error, stopped ? ECANCELED : EFBIG) << way;
        EXPECT_EQ(result.stage, CopyStage::Write);
        EXPECT_EQ(ListFolder(dir.Path()), (Names{"existing", "src"}));
        EXPECT_EQ(ReadFile(dir / "existing"), "the user's file");
    }
}

// What a kill leaves behind is ours to clear; a temporary that a save is still writing
// (it holds a lock), a name that is not ours, a folder and a link stay.
TEST(FileCopyTest, StaleTemporariesGoOthersStay) {
    platform_test::TempDir dir;
    WriteFile(dir / ".a.jpg.0123456789ab.part", "partial");
    WriteFile(dir / ".b.jpg.ffffffffffff.part", "partial");
    const Names kept{".a.0123456789aB.part", ".a.012345.part", ".a.0123456789ab.parts",
                     "a.jpg.0123456789ab.part"};
    for (const std::string& name : kept) {
        WriteFile(dir / name, "user's");
    }
    WriteFile(dir / ".dir.0123456789ab.part/inside", "");
    platform_test::MakeLink(dir / "a.jpg.0123456789ab.part", dir / ".ln.0123456789ab.part");
    platform::ReplacementFile writing;
    ASSERT_EQ(writing.Create(dir / "c.jpg", 0644, false), 0);
    EXPECT_EQ(platform::RemoveStaleTemporaries(dir.Path()), 2);
    EXPECT_EQ(ListFolder(dir.Path()).size(), kept.size() + 3);
    EXPECT_FALSE(platform_test::PathExists(dir / ".a.jpg.0123456789ab.part"));
    ASSERT_EQ(writing.CommitNew(), 0);
    EXPECT_EQ(ReadFile(dir / "c.jpg"), "");
}

}  // namespace
