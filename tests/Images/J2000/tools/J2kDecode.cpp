// j2k_decode: a developer tool that decodes a JPEG 2000 codestream with our decoder (tier 1 and
// reconstruction included) and writes each component as a PGX file, so its output can be set
// beside another decoder's byte for byte.
//
//   j2k_decode [-l N] [-t N] input output-prefix
//
// Component n goes to "<output-prefix>_<n>.pgx": the header "PG ML +|- <precision> <width>
// <height>" and a newline, then the samples row by row, most significant byte first, one byte
// each up to 8 bits and two above. -l N decodes only the first N quality layers; -t N decodes
// with N threads (default: one per hardware thread; the output is the same). Exit status 0 on
// success, also for a codestream cut short (what arrived is written, with a note on standard
// error); 1, with the decoder's message, on failure. The decoder's warnings go to standard error
// in either case.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Images/J2000/Decoder.h"
#include "Images/J2000/Reconstruction.h"
#include "Images/J2000/Stream.h"

namespace {

struct Arguments {
    std::string layers;    // empty: all
    unsigned threads = 0;  // 0: one per hardware thread
    std::string input;
    std::string prefix;
};

// The number after an option, within [least, most].
bool ParseCount(const char* text, long least, long most, long& n) {
    char* end = nullptr;
    n = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && n >= least && n <= most;
}

bool ParseArguments(int argc, char** argv, Arguments& args) {
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        long n = 0;
        if (std::strcmp(argv[i], "-l") == 0 && ParseCount(argv[i + 1], 0, 65535, n))
            args.layers = std::to_string(n);
        else if (std::strcmp(argv[i], "-t") == 0 && ParseCount(argv[i + 1], 1, 256, n))
            args.threads = static_cast<unsigned>(n);
        else
            return false;
    }
    if (argc - i != 2)
        return false;
    args.input = argv[i];
    args.prefix = argv[i + 1];
    return true;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Writes one component; an empty string on success, else what went wrong. The image's store
// already holds the samples as PGX lays them out (the low bytes of each, most significant
// first, one byte up to 8 bits and two up to 16), so its bytes are copied as they stand.
std::string WritePgx(j2000::image_t& image, int cmptno, const std::string& path) {
    j2000::image_cmpnt_t& cmpt = *image.cmpts[cmptno];
    if (cmpt.prec > 16)
        return "component " + std::to_string(cmptno) + " has " + std::to_string(cmpt.prec) +
               " bits; PGX holds at most 16";
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out)
        return "cannot create " + path + ": " + std::strerror(errno);
    std::fprintf(out.get(), "PG ML %c %d %u %u\n", cmpt.sgnd ? '-' : '+', cmpt.prec, cmpt.width_,
                 cmpt.height_);
    std::uint64_t left = std::uint64_t{cmpt.width_} * cmpt.height_ * cmpt.cps;
    std::vector<unsigned char> chunk(std::size_t{1} << 20);
    if (cmpt.stream->rewind() != 0)
        return "cannot read component " + std::to_string(cmptno);
    while (left > 0) {
        const long n = static_cast<long>(std::min<std::uint64_t>(left, chunk.size()));
        if (cmpt.stream->read(chunk.data(), n) != n)
            return "cannot read component " + std::to_string(cmptno);
        if (std::fwrite(chunk.data(), 1, static_cast<std::size_t>(n), out.get()) !=
            static_cast<std::size_t>(n))
            return "cannot write " + path;
        left -= static_cast<std::uint64_t>(n);
    }
    if (std::fclose(out.release()) != 0)
        return "cannot write " + path;
    // Thousands of components need not each keep a read buffer.
    cmpt.stream->release();
    return {};
}

// Every component's file, as many at a time as there are threads (each has its own store);
// what went wrong with each, empty when nothing did. Memory short while a file is written fails
// that file, on a writer thread too, where an escaping exception would end the program: it is
// only noted there, since making its message could find the memory short again.
std::vector<std::string> WriteComponents(j2000::image_t& image, const Arguments& args) {
    const int n = image.numcmpts;
    const int threads = static_cast<int>(
        args.threads > 0 ? args.threads : std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string> failures(static_cast<size_t>(n));
    std::vector<char> memoryShort(static_cast<size_t>(n), 0);
    const auto write = [&](int k) {
        try {
            failures[k] = WritePgx(image, k, args.prefix + "_" + std::to_string(k) + ".pgx");
        } catch (const std::bad_alloc&) {
            memoryShort[k] = 1;
        }
    };
    for (int first = 0; first < n; first += threads) {
        std::vector<std::thread> writers;
        writers.reserve(static_cast<size_t>(threads));
        for (int k = first + 1; k < std::min(n, first + threads); ++k) {
            try {
                writers.emplace_back(write, k);
            } catch (const std::exception&) {
                write(k);  // no thread to be had
            }
        }
        write(first);
        for (std::thread& writer : writers)
            writer.join();
    }
    for (int k = 0; k < n; ++k)
        if (memoryShort[k])
            failures[k] = "out of memory writing component " + std::to_string(k);
    return failures;
}

int Run(int argc, char** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        std::fprintf(stderr, "usage: j2k_decode [-l N] [-t N] input output-prefix\n");
        return 1;
    }
    j2000::StreamPtr in = j2000::stream_fopen(args.input.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "j2k_decode: cannot open %s\n", args.input.c_str());
        return 1;
    }
    std::string messages;
    j2000::DecodeEnv env;
    env.diag = j2000::Diagnostics([&messages](const std::string& t) { messages += t; });
    env.decodetile = j2000::jpc_dec_tiledecode;
    env.threads = args.threads;
    const std::string options = args.layers.empty() ? "" : "maxlyrs=" + args.layers;
    j2000::DecodeResult result = j2000::jpc_decode(*in, options.c_str(), nullptr, env);
    if (result.status != j2000::DecodeStatus::Ok || !result.image) {
        std::fprintf(stderr, "j2k_decode: %s: %s\n", args.input.c_str(),
                     messages.empty() ? "cannot be decoded" : messages.c_str());
        return 1;
    }
    if (!messages.empty())
        std::fprintf(stderr, "j2k_decode: %s: %s", args.input.c_str(), messages.c_str());
    if (result.partial)
        std::fprintf(stderr, "j2k_decode: %s: the codestream is cut short; written what arrived\n",
                     args.input.c_str());
    const std::vector<std::string> failures = WriteComponents(*result.image, args);
    for (const std::string& failure : failures)
        if (!failure.empty()) {
            std::fprintf(stderr, "j2k_decode: %s\n", failure.c_str());
            return 1;
        }
    return 0;
}

}  // namespace

// Memory short anywhere else (the decoder itself reports it as a failure) ends the tool with
// status 1 like any failure, never with an abort.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("j2k_decode: out of memory\n", stderr);
        return 1;
    }
}
