// Test-only codestream rewriter: splits a codestream into its main-header segments and tile-parts
// so that tests can move, add, drop or damage segments and write it back with fresh lengths; and
// a maker of main headers for codestreams written from scratch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace j2000test {

using Bytes = std::vector<std::uint8_t>;

struct Segment {
    std::uint16_t marker = 0;
    Bytes body;  // the parameters, without the length field
};

struct TilePart {
    std::uint16_t tileno = 0;
    std::uint8_t partno = 0, numparts = 0;
    bool psot_zero = false;  // write Psot 0 (only allowed for the last tile-part)
    std::vector<Segment> header;
    Bytes data;                  // the packets after SOD
    std::size_t dataoffset = 0;  // where `data` began in the parsed codestream
};

struct Codestream {
    std::vector<Segment> main;  // after SOC, up to the first SOT
    std::vector<TilePart> parts;
    bool eoc = true;

    static Codestream parse(const Bytes& bytes);
    Bytes serialise() const;
};

// The main header of a picture of unsigned components of `bits` bits, reversible without
// quantisation or irreversible with every step 2^-expn (every band's exponent `expn`); precincts
// of 2^`prc` at every level, the default when -1.
struct HeaderSpec {
    std::uint32_t width = 64, height = 64, tilewidth = 0, tileheight = 0;  // 0: one tile
    int comps = 1, levels = 0, cblk = 6, prc = -1, layers = 1, prog = 0, expn = 9, bits = 8;
    bool irreversible = false;
};
std::vector<Segment> main_header(const HeaderSpec& p);

// Writes bits most significant first; after an 0xFF byte the next byte carries 7 bits.
class BitWriter {
  public:
    void bits(unsigned value, int n);
    void bit(unsigned b);
    void align() { free_ = 0; }
    Bytes out_;

  private:
    int free_ = 0;
};

// Streams that spend nearly all their decode in one stage, for tests and benchmarks of stops.
// The packet iterator's walk: component 0's 65536 precincts all bring their packet under the
// first of 9360 progression changes, and each later change looks through them for one still
// due.
Codestream iterator_walk_stream();
// The synthesis: one coded block (one pass of one byte) in `comps` 16-bit 9/7 components of
// `side` x `side`; `comments` comment segments of 60000 bytes buy the work a short stream may
// not ask for otherwise.
Codestream synthesis_stream(std::uint32_t side, int comps, int comments);

Bytes read_file(const std::string& path);
std::string fixture_path(const std::string& name);
// Packet lengths a tile-part's PLT segments list, in order.
std::vector<std::uint32_t> plt_lengths(const TilePart& part);
void put16(Bytes& out, unsigned v);
void put32(Bytes& out, std::uint32_t v);

}  // namespace j2000test
