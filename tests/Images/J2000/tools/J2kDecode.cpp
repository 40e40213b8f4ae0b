// j2k_decode: a developer tool that decodes a JPEG 2000 codestream with our decoder (tier 1 and
// reconstruction included) and writes each component as a PGX file, so its output can be set
// beside another decoder's byte for byte.
//
//   j2k_decode [-l N] input output-prefix
//
// Component n goes to "<output-prefix>_<n>.pgx": the header "PG ML +|- <precision> <width>
// <height>" and a newline, then the samples row by row, most significant byte first, one byte
// each up to 8 bits and two above. -l N decodes only the first N quality layers. Exit status 0
// on success, also for a codestream cut short (what arrived is written, with a note on standard
// error); 1, with the decoder's message, on failure.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Images/J2000/Decoder.h"
#include "Images/J2000/Reconstruction.h"
#include "Images/J2000/Stream.h"

namespace {

struct Arguments {
    std::string layers;  // empty: all
    std::string input;
    std::string prefix;
};

bool ParseArguments(int argc, char** argv, Arguments& args) {
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "-l") == 0) {
        if (i + 1 >= argc)
            return false;
        char* end = nullptr;
        const long n = std::strtol(argv[i + 1], &end, 10);
        if (*argv[i + 1] == '\0' || *end != '\0' || n < 0 || n > 65535)
            return false;
        args.layers = std::to_string(n);
        i += 2;
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

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        std::fprintf(stderr, "usage: j2k_decode [-l N] input output-prefix\n");
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
    const std::string options = args.layers.empty() ? "" : "maxlyrs=" + args.layers;
    j2000::DecodeResult result = j2000::jpc_decode(*in, options.c_str(), nullptr, env);
    if (result.status != j2000::DecodeStatus::Ok || !result.image) {
        std::fprintf(stderr, "j2k_decode: %s: %s\n", args.input.c_str(),
                     messages.empty() ? "cannot be decoded" : messages.c_str());
        return 1;
    }
    if (result.partial)
        std::fprintf(stderr, "j2k_decode: %s: the codestream is cut short; written what arrived\n",
                     args.input.c_str());
    for (int n = 0; n < result.image->numcmpts; ++n) {
        const std::string failure =
            WritePgx(*result.image, n, args.prefix + "_" + std::to_string(n) + ".pgx");
        if (!failure.empty()) {
            std::fprintf(stderr, "j2k_decode: %s\n", failure.c_str());
            return 1;
        }
    }
    return 0;
}
