// Decodes the 24-megapixel benchmark picture (6000 x 4000 RGB, written as a PPM here and coded
// by opj_compress in this run: lossless with the 5/3 wavelet, and irreversible 9/7 at 10:1)
// with our decoder against opj_decompress, on one thread and on every core, on the same files.
//
// Both sides are whole processes doing the same work: read the codestream file, decode every
// tile (tier 2, tier 1, dequantisation, wavelet synthesis, component transform) and write the
// three components as PGX files into the same scratch folder.
//   one thread:  j2k_decode -t 1 <file> <prefix>
//                opj_decompress -i <file> -o <prefix>.pgx   (without -threads: its "-threads 1"
//                starts a pool of one and costs about 10 % more CPU)
//   every core:  j2k_decode -t <cores> <file> <prefix>
//                opj_decompress -threads <cores> -i <file> -o <prefix>.pgx
// A one-thread figure is the CPU time (user + system) of its process, measured by wait4 (CPU
// time stays honest on a shared, loaded machine); an every-core figure is the wall time, since
// the point of the threads is the wait. Runs alternate between all sides; each figure is the
// median of the runs. The memory peak is the process's maximum resident set. Ends with
//   ratio <the worse of the two ratios over both files: ours / opj_decompress in one-thread CPU
//          time, and ours / opj_decompress in every-core wall time>

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
#include <thread>
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

std::string Cores() {
    return std::to_string(std::max(1u, std::thread::hardware_concurrency()));
}

struct Side {
    const char* name;
    std::vector<std::string> (*command)(const std::string& file, const std::string& prefix);
    std::vector<double> cpu, wall;
    long peakKiB = 0;
    bool failed = false;
};

std::vector<std::string> OursCommand(const std::string& file, const std::string& prefix) {
    return {J2K_DECODE_TOOL, "-t", "1", file, prefix};
}
std::vector<std::string> OpjCommand(const std::string& file, const std::string& prefix) {
    return {"opj_decompress", "-i", file, "-o", prefix + ".pgx"};
}
std::vector<std::string> OursAllCommand(const std::string& file, const std::string& prefix) {
    return {J2K_DECODE_TOOL, "-t", Cores(), file, prefix};
}
std::vector<std::string> OpjAllCommand(const std::string& file, const std::string& prefix) {
    return {"opj_decompress", "-threads", Cores(), "-i", file, "-o", prefix + ".pgx"};
}

enum SideIndex { kOurs, kOpj, kOursAll, kOpjAll };

bool SameComponents(const bench::ScratchFolder& dir, const std::string& a, const std::string& b) {
    for (int k = 0; k < 3; ++k) {
        const std::string n = "_" + std::to_string(k) + ".pgx";
        if (ReadFile(dir.File(a + n)) != ReadFile(dir.File(b + n)))
            return false;
    }
    return true;
}

struct FileRatios {
    double oneThreadCpu = 0, everyCoreWall = 0;  // 0 when a side failed
};

// Times every side on one file.
FileRatios BenchFile(const std::string& label, const std::string& file,
                     const bench::ScratchFolder& dir) {
    std::vector<Side> sides = {{"ours", OursCommand, {}, {}},
                               {"opj_decompress", OpjCommand, {}, {}},
                               {"ours_all", OursAllCommand, {}, {}},
                               {"opj_all", OpjAllCommand, {}, {}}};
    for (int run = 0; run < kRepetitions; ++run)
        for (Side& side : sides) {
            const RunFigures f = RunProcess(side.command(file, dir.File(side.name)));
            side.failed |= !f.ok;
            side.cpu.push_back(f.cpuMs);
            side.wall.push_back(f.wallMs);
            side.peakKiB = std::max(side.peakKiB, f.peakKiB);
        }
    std::printf("%s (%s, %ld bytes), every core = %s threads:\n", label.c_str(), file.c_str(),
                static_cast<long>(ReadFile(file).size()), Cores().c_str());
    const double opjCpu = bench::Median(sides[kOpj].cpu);
    const double opjAllWall = bench::Median(sides[kOpjAll].wall);
    for (size_t i = 0; i < sides.size(); ++i) {
        const Side& side = sides[i];
        const bool everyCore = i == kOursAll || i == kOpjAll;
        const double cpu = bench::Median(side.cpu), wall = bench::Median(side.wall);
        std::printf("  %-15s cpu %8.1f ms  wall %8.1f ms  peak %7.1f MiB  vs opj %.3f (%s)%s\n",
                    side.name, cpu, wall, side.peakKiB / 1024.0,
                    everyCore ? wall / opjAllWall : cpu / opjCpu, everyCore ? "wall" : "cpu",
                    side.failed ? "  (FAILED)" : "");
    }
    std::printf("  output identical to opj_decompress: %s; every core identical to one: %s\n",
                SameComponents(dir, "ours", "opj_decompress") ? "yes" : "no",
                SameComponents(dir, "ours", "ours_all") ? "yes" : "no");
    FileRatios ratios;
    for (const Side& side : sides)
        if (side.failed)
            return ratios;
    ratios.oneThreadCpu = bench::Median(sides[kOurs].cpu) / opjCpu;
    ratios.everyCoreWall = bench::Median(sides[kOursAll].wall) / opjAllWall;
    return ratios;
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
    const FileRatios a = BenchFile("lossless 5/3", lossless, dir);
    const FileRatios b = BenchFile("irreversible 9/7 10:1", lossy, dir);
    const double oneThread = std::max(a.oneThreadCpu, b.oneThreadCpu);
    const double everyCore = std::max(a.everyCoreWall, b.everyCoreWall);
    if (std::min({a.oneThreadCpu, a.everyCoreWall, b.oneThreadCpu, b.everyCoreWall}) == 0) {
        std::printf("ratio 0 (a decode failed)\n");
        return 1;
    }
    std::printf("one thread (cpu): %.3f; every core (wall): %.3f\n", oneThread, everyCore);
    std::printf("ratio %.3f\n", std::max(oneThread, everyCore));
    return 0;
}
