// Whether a folder holds subfolders, with and without link counts. Where the
// test's folder lies on a file system that keeps them (ext2/3/4, xfs, tmpfs) the counts
// answer without a read where they can; elsewhere, and without counts, every answer is read.
// Reads are counted where the namespace opens folders.

#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/vfs.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/shell/SubfolderProbe.h"
#include "tests/platform/shell/ShellFixture.h"

namespace {

bool KeepsLinkCounts(const std::string& path) {
    struct statfs fs {};
    return ::statfs(path.c_str(), &fs) == 0 &&
           (fs.f_type == EXT4_SUPER_MAGIC || fs.f_type == XFS_SUPER_MAGIC ||
            fs.f_type == TMPFS_MAGIC);
}

class SubfolderProbeTest : public ::testing::Test {
  protected:
    SubfolderProbeTest() {
        fx.MakeDir("p/empty");
        fx.MakeFile("p/files/notes.txt");
        fx.MakeDir("p/sub/a");
        fx.MakeDir("p/hiddenonly/.h");
        fx.MakeLink(fx.MakeDir("target"), "p/linkonly/to");
        platform::DirectoryAccess access;
        access.beforeRead = [reads = reads](const std::string&) { ++*reads; };
        space = fx.SpaceWith(access);
    }
    std::string Path(const std::string& name) const { return fx.Root() + "/p/" + name; }

    shelltest::ShellFixture fx;
    std::shared_ptr<std::atomic<int>> reads = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<const platform::ShellNamespace> space;
};

TEST_F(SubfolderProbeTest, LinkCountsAnswerWithoutReadingWhereTheyCan) {
    const bool kept = KeepsLinkCounts(fx.Root());
    const struct {
        const char* name;
        bool includeHidden;
        bool useLinkCounts;
        bool byReading;  // the answer a read gives
        bool byCount;    // the answer where the count decides
        int countReads;  // reads where the count is used
    } cases[] = {
        {"empty", false, true, false, false, 0},
        {"files", false, true, false, false, 0},
        {"sub", true, true, true, true, 0},
        {"sub", false, true, true, true, 1},  // the count holds hidden folders too
        {"hiddenonly", false, true, false, false, 1},
        {"hiddenonly", true, true, true, true, 0},
        {"linkonly", false, true, true, false, 0},  // a count leaves links to folders out
        {"linkonly", false, false, true, true, 1},
        {"empty", false, false, false, false, 1},
    };
    for (const auto& c : cases) {
        platform::SubfolderProbe probe(*space, c.useLinkCounts);
        *reads = 0;
        const bool counted = c.useLinkCounts && kept;
        EXPECT_EQ(probe.HasSubdirectory(Path(c.name), c.includeHidden),
                  counted ? c.byCount : c.byReading)
            << c.name << c.includeHidden << c.useLinkCounts;
        EXPECT_EQ(*reads, counted ? c.countReads : 1) << c.name << c.includeHidden;
        EXPECT_EQ(probe.FoldersRead(), *reads) << c.name;
    }
}

}  // namespace
