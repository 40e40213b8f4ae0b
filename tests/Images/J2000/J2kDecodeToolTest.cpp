// The j2k_decode tool against opj_decompress on the same opj_compress streams: every component's
// PGX header and samples must match (irreversible streams within 1, as the two 9/7 syntheses
// round differently), layer limits included; where the reference misreads a stream, its decode
// of the same picture coded without what it misreads stands in. A broken stream gives status 1
// and a message.
// Besides the streams made here, the ones the differential check found decoded differently
// are kept as fixtures (tests/data/J2000/make_fixtures.sh).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Pgx {
    std::string header;
    std::vector<int> samples;
};

// Samples as unsigned byte values (two's complement stays as written): both sides write the
// same low bytes, so equal files give equal lists.
bool ReadPgx(const std::string& path, Pgx& pgx) {
    std::ifstream in(path, std::ios::binary);
    if (!in || !std::getline(in, pgx.header))
        return false;
    std::istringstream fields(pgx.header);
    std::string pg, ml, sign;
    int prec = 0, w = 0, h = 0;
    if (!(fields >> pg >> ml >> sign >> prec >> w >> h))
        return false;
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    const int size = prec > 8 ? 2 : 1;
    if (bytes.size() != static_cast<size_t>(w) * h * size)
        return false;
    for (size_t i = 0; i < bytes.size(); i += size)
        pgx.samples.push_back(size == 2 ? bytes[i] << 8 | bytes[i + 1] : bytes[i]);
    return true;
}

// A w x h picture with c components (PNM for 1 and 3, raw bytes for other counts) or a
// signed one (PGX), with smooth ramps and noise.
void WriteSource(const std::string& path, int w, int h, int c, int bits, bool sgnd) {
    std::ofstream out(path, std::ios::binary);
    if (sgnd)
        out << "PG ML - " << bits << " " << w << " " << h << "\n";
    else if (c == 1 || c == 3)
        out << (c == 1 ? "P5" : "P6") << "\n" << w << " " << h << "\n" << (1 << bits) - 1 << "\n";
    const int top = (1 << bits) - 1;
    unsigned noise = 12345;
    for (int i = 0; i < w * h; ++i)
        for (int k = 0; k < c; ++k) {
            noise = noise * 1103515245 + 12345;
            int v = ((i % w) * 7 + (i / w) * 3 + k * 50) * top / (7 * w + 3 * h + 150);
            v = (v + static_cast<int>(noise >> 16) % (top / 32 + 1)) & top;
            if (sgnd)  // opj_compress reads a signed PGX as one bit less precise
                v = (v - (1 << (bits - 1))) / 2;
            if (bits > 8)
                out.put(static_cast<char>(v >> 8));
            out.put(static_cast<char>(v & 0xFF));
        }
}

struct Case {
    const char* name;
    int width, height, components, bits;
    bool sgnd;
    const char* encode;  // opj_compress options
    int layers;          // 0: all
    int tolerance;
    // Where opj_decompress misreads the stream: the options of the same picture coded without
    // what it misreads, whose reference decode ours must match.
    const char* plain = nullptr;
};

const Case kCases[] = {
    {"rgb", 61, 43, 3, 8, false, "-n 3", 0, 0},
    {"grey12", 50, 37, 1, 12, false, "-n 4 -b 16,16", 0, 0},
    {"signed", 45, 30, 1, 12, true, "-n 3", 0, 0},
    {"subsampled", 41, 29, 3, 8, false, "-n 2 -s 2,2", 0, 0},
    {"layers", 64, 48, 3, 8, false, "-n 3 -r 40,20,8,1", 2, 0},
    {"layers1", 64, 48, 1, 8, false, "-n 3 -r 40,20,8,1 -p RLCP", 1, 0},
    {"irreversible", 70, 50, 3, 8, false, "-I -n 3", 0, 1},
    // Beyond 256 components, component numbers in the segments take 16 bits.
    {"components", 8, 6, 257, 8, false, "-F 8,6,257,8,u -n 2", 0, 0},
    // 294 tile-parts of one tile (a resolution of a precinct each): both part numbers and their
    // count wrap at 256, the count to 38.
    {"tileparts", 112, 112, 3, 3, false, "-I -n 2 -c [16,16] -p CPRL -M 31 -TP R -mct 0", 0, 1,
     "-I -n 2 -c [16,16] -p CPRL -M 31 -mct 0"},
};

// A kept stream (tests/data/J2000) and what to decode of it.
struct KeptStream {
    const char* file;
    int components;
    int layers;  // 0: all
    int tolerance;
};

const KeptStream kKeptStreams[] = {
    {"c33x21_irreversible_layers.j2k", 3, 0, 1},
    {"c24x16_16bit_irreversible.j2k", 3, 0, 1},
};

bool HaveTools() {
    return std::system(
               "command -v opj_compress >/dev/null 2>&1 && "
               "command -v opj_decompress >/dev/null 2>&1") == 0;
}

class J2kDecodeToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTools())
            GTEST_SKIP() << "opj_compress/opj_decompress (libopenjp2-tools) are not installed";
        ASSERT_NE(mkdtemp(dir_), nullptr);
    }
    void TearDown() override {
        if (dir_[0] != '\0' && dir_[std::string(dir_).size() - 1] != 'X')
            std::system((std::string("rm -rf ") + dir_).c_str());
    }
    std::string Path(const std::string& name) const { return std::string(dir_) + "/" + name; }
    // Decodes `coded` with ours and `reference` (by default the same) with opj_decompress and
    // compares their components.
    void ExpectSameComponents(const std::string& coded, int components, int layers, int tolerance,
                              std::string reference = {}) {
        const std::string limit = layers ? " -l " + std::to_string(layers) : "";
        if (reference.empty())
            reference = coded;
        ASSERT_EQ(std::system(("opj_decompress -i " + reference + " -o " + Path("ref.pgx") + limit +
                               " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        ASSERT_EQ(
            std::system(
                (std::string(J2K_DECODE_TOOL) + limit + " " + coded + " " + Path("ours")).c_str()),
            0);
        for (int k = 0; k < components; ++k) {
            SCOPED_TRACE(k);
            Pgx ref, ours;
            const std::string n = std::to_string(k);
            ASSERT_TRUE(ReadPgx(Path("ref_" + n + ".pgx"), ref));
            ASSERT_TRUE(ReadPgx(Path("ours_" + n + ".pgx"), ours));
            EXPECT_EQ(ours.header, ref.header);
            ASSERT_EQ(ours.samples.size(), ref.samples.size());
            int worst = 0;
            for (size_t i = 0; i < ref.samples.size(); ++i)
                worst = std::max(worst, std::abs(ours.samples[i] - ref.samples[i]));
            EXPECT_LE(worst, tolerance);
        }
    }
    char dir_[32] = "/tmp/j2k-toolXXXXXX";
};

TEST_F(J2kDecodeToolTest, ComponentsMatchTheReferenceDecoder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string source = Path(std::string(c.name) + (c.sgnd              ? ".pgx"
                                                               : c.components == 1 ? ".pgm"
                                                               : c.components == 3 ? ".ppm"
                                                                                   : ".raw"));
        const std::string coded = Path(std::string(c.name) + ".j2k");
        const std::string plain = c.plain ? Path(std::string(c.name) + "_plain.j2k") : coded;
        WriteSource(source, c.width, c.height, c.components, c.bits, c.sgnd);
        for (const auto& [out, options] : {std::pair{coded, c.encode}, std::pair{plain, c.plain}}) {
            if (!options)
                continue;
            const std::string command =
                "opj_compress -i " + source + " -o " + out + " " + options + " >/dev/null 2>&1";
            ASSERT_EQ(std::system(command.c_str()), 0);
        }
        ExpectSameComponents(coded, c.components, c.layers, c.tolerance, plain);
    }
}

TEST_F(J2kDecodeToolTest, KeptStreamsMatchTheReferenceDecoder) {
    for (const KeptStream& k : kKeptStreams) {
        SCOPED_TRACE(k.file);
        ExpectSameComponents(std::string(ORVANE_J2000_FIXTURES) + "/" + k.file, k.components,
                             k.layers, k.tolerance);
    }
}

// A stream cut short is decoded as far as it goes (status 0, a note and the decoder's warnings,
// the components written); a broken one gives status 1 and a message naming the file, and
// writes nothing.
TEST_F(J2kDecodeToolTest, CutAndBrokenStreamsGiveTheirStatusAndMessage) {
    const std::string source = Path("cut.ppm"), cut = Path("cut.j2k"), broken = Path("broken.j2k");
    WriteSource(source, 64, 48, 3, 8, false);
    ASSERT_EQ(
        std::system(
            ("opj_compress -i " + source + " -o " + cut + " -r 20,5,1 >/dev/null 2>&1").c_str()),
        0);
    std::ifstream in(cut, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 9 / 10);
    std::ofstream(broken, std::ios::binary) << "\xFF\x4F\xFF\x51\x00\x02";
    const struct {
        std::string file;
        int status;
        std::vector<const char*> texts;
    } cases[] = {{cut, 0, {"cut short", "warning: the codestream ends early"}},
                 {broken, 1, {"broken.j2k"}}};
    for (const auto& c : cases) {
        std::remove(Path("out_2.pgx").c_str());
        const std::string command =
            std::string(J2K_DECODE_TOOL) + " " + c.file + " " + Path("out") + " 2>" + Path("err");
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), c.status);
        std::ifstream err(Path("err"));
        const std::string text{std::istreambuf_iterator<char>(err), {}};
        for (const char* expected : c.texts)
            EXPECT_NE(text.find(expected), std::string::npos) << text;
        Pgx last;
        EXPECT_EQ(ReadPgx(Path("out_2.pgx"), last), c.status == 0);
    }
}

}  // namespace

// Memory short anywhere (the address space limited, from too little to start the decode to
// enough for sixteen components written on eight threads) ends the tool with status 0 or 1,
// never with an abort. The sanitizers reserve more address space than any of these limits.
TEST_F(J2kDecodeToolTest, MemoryShortGivesAStatusNeverAnAbort) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need more address space than the limits given";
#endif
    const std::string source = Path("many.raw"), coded = Path("many.j2k");
    WriteSource(source, 64, 64, 16, 8, false);
    ASSERT_EQ(std::system(("opj_compress -i " + source + " -o " + coded +
                           " -F 64,64,16,8,u >/dev/null 2>&1")
                              .c_str()),
              0);
    for (int mib = 24; mib <= 400; mib += 8) {
        const std::string command = "ulimit -v " + std::to_string(mib * 1024) + "; " +
                                    J2K_DECODE_TOOL + " -t 8 " + coded + " " + Path("out") +
                                    " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1)
            << mib << " MiB: status " << status;
    }
}
