#include "platform/PosixFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "TempDir.h"

namespace {

using platform::kEndOfFile;
using platform::PosixFile;
using platform_test::TempDir;

bool IsOpenDescriptor(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(PosixFileTest, DescriptorsAreCloseOnExecAndClosedByTheOwner) {
    TempDir dir;
    platform_test::WriteFile(dir / "f", "data");
    int fd = -1;
    {
        PosixFile file;
        ASSERT_EQ(file.Open(dir / "f", O_RDONLY), 0);
        fd = file.Fd();
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        PosixFile moved(std::move(file));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(moved.Fd(), fd);
    }
    EXPECT_FALSE(IsOpenDescriptor(fd));
}

TEST(PosixFileTest, AssigningOrReopeningClosesTheOldDescriptor) {
    TempDir dir;
    platform_test::WriteFile(dir / "a", "a");
    PosixFile first;
    PosixFile second;
    ASSERT_EQ(first.Open(dir / "a", O_RDONLY), 0);
    ASSERT_EQ(second.Open(dir / "a", O_RDONLY), 0);
    const int firstFd = first.Fd();
    const int secondFd = second.Fd();
    first = std::move(second);
    EXPECT_FALSE(IsOpenDescriptor(firstFd));
    EXPECT_EQ(first.Fd(), secondFd);
    ASSERT_EQ(first.Open(dir / "a", O_RDONLY), 0);
    EXPECT_TRUE(first.Fd() == secondFd || !IsOpenDescriptor(secondFd));
}

TEST(PosixFileTest, OpenReportsErrno) {
    PosixFile file;
    EXPECT_EQ(file.Open("/nonexistent/for/sure", O_RDONLY), ENOENT);
    EXPECT_FALSE(file.IsOpen());
}

TEST(PosixFileTest, ReadExactReportsEndOfFileWithTheBytesThatArrived) {
    TempDir dir;
    platform_test::WriteFile(dir / "f", "0123456789");
    PosixFile file;
    ASSERT_EQ(file.Open(dir / "f", O_RDONLY), 0);
    char buffer[16] = {};
    size_t got = 0;
    EXPECT_EQ(file.ReadExact(buffer, 4, &got), 0);
    EXPECT_EQ(std::string(buffer, got), "0123");
    off_t position = -1;
    EXPECT_EQ(file.Seek(-3, SEEK_END, &position), 0);
    EXPECT_EQ(position, 7);
    EXPECT_EQ(file.ReadExact(buffer, 8, &got), kEndOfFile);
    EXPECT_EQ(std::string(buffer, got), "789");
    off_t size = 0;
    EXPECT_EQ(file.Size(size), 0);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(file.Seek(-1, SEEK_SET), EINVAL);
}

// A pipe hands data over in pieces; ReadExact must keep reading until all have arrived.
TEST(PosixFileTest, ReadExactCollectsDataThatArrivesInPieces) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    PosixFile reader(fds[0]);
    PosixFile writer(fds[1]);
    const std::string message = "a message written one byte at a time";
    std::thread feeder([&writer, message] {
        for (char c : message) {
            writer.WriteAll(&c, 1);
            std::this_thread::yield();
        }
    });
    std::string received(message.size(), '\0');
    EXPECT_EQ(reader.ReadExact(received.data(), received.size()), 0);
    feeder.join();
    EXPECT_EQ(received, message);
}

std::atomic<int> signalsSeen{0};
void CountSignal(int) {
    signalsSeen.fetch_add(1);
}

// Signals arrive at any time in a GUI program; a read they interrupt must be repeated,
// not reported as a failure.
TEST(PosixFileTest, InterruptedReadsAreRepeated) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = CountSignal;
    action.sa_flags = 0;  // no SA_RESTART: read() returns EINTR
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    PosixFile reader(fds[0]);
    PosixFile writer(fds[1]);
    const pthread_t readerThread = ::pthread_self();
    std::thread interrupter([&writer, readerThread] {
        for (int i = 0; i < 20; ++i) {
            ::pthread_kill(readerThread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        writer.WriteAll("done", 4);
    });
    char buffer[4];
    const int error = reader.ReadExact(buffer, sizeof buffer);
    interrupter.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(std::string(buffer, 4), "done");
    EXPECT_GT(signalsSeen.load(), 0);
}

TEST(PosixFileTest, ReadWholeFileReadsProcFilesAndRefusesOversizedOnes) {
    const platform::FileContents status = platform::ReadWholeFile("/proc/self/status");
    EXPECT_EQ(status.error, 0);
    EXPECT_NE(status.bytes.find("Name:"), std::string::npos);

    TempDir dir;
    platform_test::WriteFile(dir / "big", std::string(100, 'x'));
    const platform::FileContents limited = platform::ReadWholeFile(dir / "big", 99);
    EXPECT_EQ(limited.error, EFBIG);
    EXPECT_TRUE(limited.bytes.empty());
    EXPECT_EQ(platform::ReadWholeFile(dir / "big", 100).bytes.size(), 100u);
    EXPECT_EQ(platform::ReadWholeFile(dir / "missing").error, ENOENT);
}

}  // namespace
