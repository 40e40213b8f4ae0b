// Times saving a series of 36 pictures of 5 MB as a package against cp copying the same
// files into another folder of the same file system, alternating the two so both see the
// same machine state (the sources stay in the page cache; written data is synced and the
// copies removed between runs, outside the timing). Our side is the whole save as the
// program runs it: planning, the copies on the save's worker thread while the calling
// thread waits in its event loop, one file at a time; cp's side is one cp process for the
// same 36 files, which also copies one file at a time. Prints the median of each and ends
// with:
//   ratio <ours / cp>

#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Saving/SavePackage.h"
#include "app/Saving/SaveWorker.h"
#include "bench/common/BenchTiming.h"

namespace {

constexpr int kPictures = 36;
constexpr qsizetype kPictureBytes = qsizetype{5} << 20;
constexpr int kRepetitions = 15;

// Bytes that do not compress, as a JPEG's entropy data does not.
QByteArray PictureBytes(uint32_t seed) {
    QByteArray bytes(kPictureBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        bytes[i] = static_cast<char>(seed >> 24);
    }
    return bytes;
}

QStringList MakeSources(const QString& folder) {
    QDir().mkpath(folder);
    QStringList series;
    for (int i = 0; i < kPictures; ++i) {
        const QString path = folder + QString("/DSC%1.JPG").arg(i, 5, 10, QChar('0'));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(PictureBytes(i + 1)) != kPictureBytes) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        series.append(path);
    }
    return series;
}

double TimeOurs(const QStringList& series, const QString& dest) {
    QDir().mkpath(dest);
    TSaveEntries entries;
    entries.destination = dest;
    entries.prefix = "img";
    entries.digits = 3;
    entries.firstNumber = "1";
    TSaveServices services;
    services.askOverwrite = [](const QString&, const QString&, const QString&) { return 7; };
    services.offload = RunOffUiThread;
    TSaveOutcome outcome;
    const double ms =
        bench::TimeMilliseconds([&] { outcome = SavePackage(series, entries, services); });
    if (outcome.written.size() != kPictures) {
        std::fprintf(stderr, "save wrote %lld files\n",
                     static_cast<long long>(outcome.written.size()));
        std::exit(1);
    }
    return ms;
}

double TimeCp(const QStringList& series, const QString& dest) {
    QDir().mkpath(dest);
    std::vector<std::string> args{"cp"};
    for (const QString& path : series) {
        args.push_back(QFile::encodeName(path).toStdString());
    }
    args.push_back(QFile::encodeName(dest).toStdString());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int status = 0;
    const double ms = bench::TimeMilliseconds([&] {
        const pid_t child = fork();
        if (child == 0) {
            execvp("cp", argv.data());
            _exit(127);
        }
        waitpid(child, &status, 0);
    });
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    return ms;
}

void Discard(const QString& folder) {
    QDir(folder).removeRecursively();
    ::sync();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir root;
    if (!root.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QStringList series = MakeSources(root.path() + "/src");
    ::sync();
    Discard(root.path() + "/warm");  // nothing yet; syncs the sources
    TimeOurs(series, root.path() + "/warm");
    Discard(root.path() + "/warm");
    std::vector<double> ours;
    std::vector<double> cp;
    for (int i = 0; i < kRepetitions; ++i) {
        ours.push_back(TimeOurs(series, root.path() + "/ours"));
        Discard(root.path() + "/ours");
        cp.push_back(TimeCp(series, root.path() + "/cp"));
        Discard(root.path() + "/cp");
    }
    const double oursMedian = bench::Median(ours);
    const double cpMedian = bench::Median(cp);
    std::printf("files %d x %lld bytes, %d runs each\n", kPictures,
                static_cast<long long>(kPictureBytes), kRepetitions);
    std::printf("save package  median %.1f ms\n", oursMedian);
    std::printf("cp            median %.1f ms\n", cpMedian);
    std::printf("ratio %.3f\n", oursMedian / cpMedian);
    return 0;
}
