#include "platform/PosixFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "TempDir.h"

namespace {

using platform::PosixFile;

TEST(PosixFileTest, DescriptorsAreCloseOnExecAndClosedByTheirLastOwner) {
    platform_test::TempDir dir;
    platform_test::WriteFile(dir / "f", "0123456789");
    int fd = -1;
    {
        PosixFile file;
        ASSERT_EQ(file.Open(dir / "f", O_RDONLY), 0);
        fd = file.Fd();
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        PosixFile moved(std::move(file));
        // A file that ends early says so, with the bytes that did arrive.
        char buffer[8] = {};
        size_t got = 0;
        EXPECT_EQ(moved.Seek(-3, SEEK_END), 0);
        EXPECT_EQ(moved.ReadExact(buffer, 8, &got), platform::kEndOfFile);
        EXPECT_EQ(std::string(buffer, got), "789");
    }
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

void IgnoreSignal(int) {}

// Signals arrive at any time in a GUI program; a read they interrupt must be repeated, not
// reported as a failure, and a read must wait for all the bytes it was asked for.
TEST(PosixFileTest, InterruptedAndPiecemealReadsAreCompleted) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = IgnoreSignal;  // no SA_RESTART: read() returns EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    PosixFile reader(fds[0]);
    PosixFile writer(fds[1]);
    std::thread interrupter([&writer, readerThread = ::pthread_self()] {
        for (int i = 0; i < 20; ++i) {
            ::pthread_kill(readerThread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            writer.WriteAll("ab", i % 2 == 0 ? 1 : 2);
        }
    });
    std::string received(30, '\0');
    const int error = reader.ReadExact(received.data(), received.size());
    interrupter.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(received, "aabaabaabaabaabaabaabaabaabaab");
}

TEST(PosixFileTest, ReadWholeFileRefusesFilesOverTheLimit) {
    platform_test::TempDir dir;
    platform_test::WriteFile(dir / "big", std::string(100, 'x'));
    const platform::FileContents limited = platform::ReadWholeFile(dir / "big", 99);
    EXPECT_EQ(limited.error, EFBIG);
    EXPECT_TRUE(limited.bytes.empty());
    EXPECT_EQ(platform::ReadWholeFile(dir / "big", 100).bytes.size(), 100u);
    EXPECT_EQ(platform::ReadWholeFile(dir / "missing").error, ENOENT);
    // Files under /proc report size 0 but have content.
    EXPECT_NE(platform::ReadWholeFile("/proc/self/status").bytes.find("Name:"), std::string::npos);
}

}  // namespace
