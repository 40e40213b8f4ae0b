// Decodes the 24-megapixel benchmark picture (6000 x 4000 RGB, written as a PPM here and coded
// by opj_compress in this run: lossless with the 5/3 wavelet, and irreversible 9/7 at 10:1)
// with our decoder against opj_decompress, both single-threaded, on the same files.
//
// Both sides are whole processes doing the same work: read the codestream file, decode every
// tile (tier 2, tier 1, dequantisation, wavelet synthesis, component transform) and write the
// three components as PGX files into the same scratch folder.
//   ours:      j2k_decode <file> <prefix>                       (the developer tool)
//   reference: opj_decompress -threads 1 -i <file> -o <prefix>.pgx
//   grok:      grk_decompress -H 1 -i <file> -o <prefix>.pgx     (only when installed; shown as
//              information, not part of the ratio)
// Each side's time is the CPU time (user + system) of its process, measured by wait4 (both are
// single-threaded, and CPU time stays honest on a shared, loaded machine); wall times are printed
// beside. Runs alternate between the sides; each figure is the median of the runs. The memory
// peak is the process's maximum resident set. Ends with
//   ratio <worst of (ours / opj_decompress) over the two files>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"

extern char** environ;

namespace {

constexpr int kRepetitions = 5;

struct RunFigures {
    bool ok = false;
    double wallMs = 0, cpuMs = 0;
    long peakKiB = 0;
};

// Runs argv[0] (looked up in PATH) with its output thrown away and waits for it.
RunFigures RunProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    RunFigures figures;
    pid_t pid = 0;
    const bench::Clock::time_point start = bench::Clock::now();
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return figures;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return figures;
    figures.wallMs = bench::Milliseconds(bench::Clock::now() - start);
    figures.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    figures.peakKiB = usage.ru_maxrss;
    figures.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return figures;
}

bool Installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Side {
    const char* name;
    std::vector<std::string> (*command)(const std::string& file, const std::string& prefix);
    std::vector<double> cpu, wall;
    long peakKiB = 0;
    bool failed = false;
};

std::vector<std::string> OursCommand(const std::string& file, const std::string& prefix) {
    return {J2K_DECODE_TOOL, file, prefix};
}
std::vector<std::string> OpjCommand(const std::string& file, const std::string& prefix) {
    return {"opj_decompress", "-threads", "1", "-i", file, "-o", prefix + ".pgx"};
}
std::vector<std::string> GrkCommand(const std::string& file, const std::string& prefix) {
    return {"grk_decompress", "-H", "1", "-i", file, "-o", prefix + ".pgx"};
}

// Times every side on one file; returns ours / opj_decompress (0 when a side failed).
double BenchFile(const std::string& label, const std::string& file, const bench::ScratchFolder& dir,
                 bool withGrok) {
    std::vector<Side> sides = {{"ours", OursCommand, {}, {}},
                               {"opj_decompress", OpjCommand, {}, {}}};
    if (withGrok)
        sides.push_back({"grk_decompress", GrkCommand, {}, {}});
    for (int run = 0; run < kRepetitions; ++run)
        for (Side& side : sides) {
            const RunFigures f = RunProcess(side.command(file, dir.File(side.name)));
            side.failed |= !f.ok;
            side.cpu.push_back(f.cpuMs);
            side.wall.push_back(f.wallMs);
            side.peakKiB = std::max(side.peakKiB, f.peakKiB);
        }
    const double opj = bench::Median(sides[1].cpu);
    std::printf("%s (%s, %ld bytes):\n", label.c_str(), file.c_str(),
                static_cast<long>(ReadFile(file).size()));
    for (const Side& side : sides) {
        const double cpu = bench::Median(side.cpu);
        std::printf("  %-15s cpu %8.1f ms  wall %8.1f ms  peak %7.1f MiB  vs opj %.3f%s\n",
                    side.name, cpu, bench::Median(side.wall), side.peakKiB / 1024.0, cpu / opj,
                    side.failed ? "  (FAILED)" : "");
    }
    bool same = true;
    for (int k = 0; k < 3; ++k) {
        const std::string n = "_" + std::to_string(k) + ".pgx";
        same = same && ReadFile(dir.File("ours" + n)) == ReadFile(dir.File("opj_decompress" + n));
    }
    std::printf("  output identical to opj_decompress: %s\n", same ? "yes" : "no");
    if (sides[0].failed || sides[1].failed)
        return 0;
    return bench::Median(sides[0].cpu) / opj;
}

}  // namespace

int main() {
    if (!Installed("opj_compress") || !Installed("opj_decompress")) {
        std::fprintf(stderr, "opj_compress and opj_decompress (libopenjp2-tools) are needed\n");
        return 1;
    }
    bench::ScratchFolder dir;
    const std::string source = dir.File("picture.ppm");
    if (!dir.Ok() || !bench::WriteBenchPpm(source)) {
        std::fprintf(stderr, "cannot write the picture\n");
        return 1;
    }
    const std::string lossless = dir.File("lossless.j2k");
    const std::string lossy = dir.File("irreversible.j2k");
    if (!RunProcess({"opj_compress", "-i", source, "-o", lossless}).ok ||
        !RunProcess({"opj_compress", "-I", "-r", "10", "-i", source, "-o", lossy}).ok) {
        std::fprintf(stderr, "opj_compress failed\n");
        return 1;
    }
    std::remove(source.c_str());
    const bool withGrok = Installed("grk_decompress");
    if (!withGrok)
        std::printf("grk_decompress is not installed; only opj_decompress is timed\n");
    const double a = BenchFile("lossless 5/3", lossless, dir, withGrok);
    const double b = BenchFile("irreversible 9/7 10:1", lossy, dir, withGrok);
    if (a == 0 || b == 0) {
        std::printf("ratio 0 (a decode failed)\n");
        return 1;
    }
    std::printf("ratio %.3f\n", std::max(a, b));
    return 0;
}
