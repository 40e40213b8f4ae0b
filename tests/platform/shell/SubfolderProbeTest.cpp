// Whether a folder holds subfolders, with and without link counts, in the usual temporary
// folder and on tmpfs. Where the folder lies on a file system that keeps counts (ext2/3/4,
// xfs, tmpfs) a count above 2 answers without a read where it can; a count of 2 still
// needs a read, for links to folders; without counts every answer is read. Reads are
// counted where the namespace opens folders.

#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/shell/SubfolderProbe.h"
#include "tests/platform/shell/ShellFixture.h"

namespace {

bool KeepsLinkCounts(const std::string& path) {
    struct statfs fs {};
    return ::statfs(path.c_str(), &fs) == 0 &&
           (fs.f_type == EXT4_SUPER_MAGIC || fs.f_type == XFS_SUPER_MAGIC ||
            fs.f_type == TMPFS_MAGIC);
}

class SubfolderProbeTest : public ::testing::TestWithParam<const char*> {
  protected:
    SubfolderProbeTest() : fx(GetParam()) {
        fx.MakeDir("p/empty");
        fx.MakeFile("p/files/notes.txt");
        fx.MakeDir("p/sub/a");
        fx.MakeDir("p/hiddenonly/.h");
        fx.MakeLink(fx.MakeDir("target"), "p/linkonly/to");
        fx.MakeLink(fx.Root() + "/nowhere", "p/dangling/to");
        fx.MakeLink(fx.MakeFile("file"), "p/filelink/to");
        platform::DirectoryAccess access;
        access.beforeRead = [reads = reads](const std::string&) { ++*reads; };
        space = fx.SpaceWith(access);
    }
    std::string Path(const std::string& name) const { return fx.Root() + "/p/" + name; }

    shelltest::ShellFixture fx;
    std::shared_ptr<std::atomic<int>> reads = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<const platform::ShellNamespace> space;
};

TEST_P(SubfolderProbeTest, LinkCountsAnswerWithoutReadingWhereTheyCan) {
    const bool kept = KeepsLinkCounts(fx.Root());
    if (std::string(GetParam()) == "/dev/shm") {
        // The case the counts must not get wrong: a folder of no directories of its own.
        struct stat st {};
        ASSERT_TRUE(kept) << "/dev/shm is no tmpfs";
        ASSERT_EQ(::stat(Path("linkonly").c_str(), &st), 0);
        ASSERT_EQ(st.st_nlink, 2u);
    }
    const struct {
        const char* name;
        bool includeHidden;
        bool useLinkCounts;
        bool found;      // the same with a count as by reading
        int countReads;  // reads where the count is used
    } cases[] = {
        {"empty", false, true, false, 1},  // a count of 2 leaves links to folders out
        {"files", false, true, false, 1},      {"sub", true, true, true, 0},
        {"sub", false, true, true, 1},  // the count holds hidden folders too
        {"hiddenonly", false, true, false, 1}, {"hiddenonly", true, true, true, 0},
        {"linkonly", false, true, true, 1},    {"linkonly", true, true, true, 1},
        {"linkonly", false, false, true, 1},   {"empty", false, false, false, 1},
        {"dangling", false, true, false, 1},   {"filelink", true, true, false, 1},
    };
    for (const auto& c : cases) {
        platform::SubfolderProbe probe(*space, c.useLinkCounts);
        *reads = 0;
        const bool counted = c.useLinkCounts && kept;
        EXPECT_EQ(probe.HasSubdirectory(Path(c.name), c.includeHidden), c.found)
            << c.name << c.includeHidden << c.useLinkCounts;
        EXPECT_EQ(*reads, counted ? c.countReads : 1) << c.name << c.includeHidden;
        EXPECT_EQ(probe.FoldersRead(), *reads) << c.name;
    }
}

// An answer comes with the folder's stamp when it holds while the folder keeps it: given
// back as known, it spares the next read of an unchanged folder. No stamp for answers that
// rest on links or on a change made just now (a further change could carry its time).
TEST_P(SubfolderProbeTest, AnswersHoldWhileTheFolderKeepsItsStamp) {
    using Clock = std::chrono::system_clock;
    const auto changed = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return Clock::time_point(std::chrono::seconds(st.st_ctim.tv_sec) +
                                 std::chrono::nanoseconds(st.st_ctim.tv_nsec));
    };
    for (const char* name : {"sub", "empty", "linkonly", "dangling"}) {
        while (Clock::now() - changed(Path(name)) < std::chrono::milliseconds(2100))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const struct {
        const char* name;
        const char* made;  // made between the two answers
        bool stamped;      // the first answer has a stamp
        int rereads;       // reads for the second answer
        bool found;        // the second answer
    } cases[] = {
        {"sub", nullptr, true, 0, true},
        {"empty", "empty/new", true, 1, true},
        {"linkonly", nullptr, false, 1, true},
        {"dangling", nullptr, false, 1, false},
    };
    for (const auto& c : cases) {
        platform::SubfolderProbe probe(*space, true);
        const platform::SubfolderAnswer first = probe.Subdirectory(Path(c.name), false);
        EXPECT_EQ(first.holdsWhile.IsSet(), c.stamped) << c.name;
        const Clock::time_point made = Clock::now();
        if (c.made)
            fx.MakeDir(std::string("p/") + c.made);
        *reads = 0;
        const platform::SubfolderAnswer second = probe.Subdirectory(Path(c.name), false, first);
        EXPECT_EQ(*reads, c.rereads) << c.name;
        EXPECT_EQ(second.found, c.found) << c.name;
        if (c.made && Clock::now() - made < std::chrono::seconds(2)) {
            EXPECT_FALSE(second.holdsWhile.IsSet()) << c.name << " changed just now";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FileSystems, SubfolderProbeTest, ::testing::Values("", "/dev/shm"));

}  // namespace
