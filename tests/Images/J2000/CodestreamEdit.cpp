#include "tests/Images/J2000/CodestreamEdit.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace j2000test {

namespace {

unsigned get16(const Bytes& b, size_t at) {
    if (at + 2 > b.size())
        throw std::runtime_error("short codestream");
    return unsigned{b[at]} << 8 | b[at + 1];
}

std::uint32_t get32(const Bytes& b, size_t at) {
    return std::uint32_t{get16(b, at)} << 16 | get16(b, at + 2);
}

Segment read_segment(const Bytes& b, size_t& at) {
    Segment s;
    s.marker = static_cast<std::uint16_t>(get16(b, at));
    const unsigned len = get16(b, at + 2);
    s.body.assign(b.begin() + static_cast<long>(at + 4),
                  b.begin() + static_cast<long>(at + 2 + len));
    at += 2 + len;
    return s;
}

void write_segment(Bytes& out, const Segment& s) {
    put16(out, s.marker);
    put16(out, static_cast<unsigned>(s.body.size() + 2));
    out.insert(out.end(), s.body.begin(), s.body.end());
}

}  // namespace

void put16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

Codestream Codestream::parse(const Bytes& b) {
    Codestream cs;
    size_t at = 2;  // SOC
    while (get16(b, at) != 0xFF90)
        cs.main.push_back(read_segment(b, at));
    while (at + 2 <= b.size() && get16(b, at) == 0xFF90) {
        const size_t start = at;
        TilePart tp;
        tp.tileno = static_cast<std::uint16_t>(get16(b, at + 4));
        const std::uint32_t psot = get32(b, at + 6);
        tp.partno = b.at(at + 10);
        tp.numparts = b.at(at + 11);
        at += 12;
        while (get16(b, at) != 0xFF93)
            tp.header.push_back(read_segment(b, at));
        at += 2;
        const size_t end = psot ? start + psot : b.size() - 2;
        tp.psot_zero = psot == 0;
        tp.dataoffset = at;
        tp.data.assign(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(end));
        at = end;
        cs.parts.push_back(std::move(tp));
    }
    cs.eoc = at + 2 <= b.size() && get16(b, at) == 0xFFD9;
    return cs;
}

Bytes Codestream::serialise() const {
    Bytes out;
    put16(out, 0xFF4F);
    for (const Segment& s : main)
        write_segment(out, s);
    for (const TilePart& tp : parts) {
        Bytes header;
        for (const Segment& s : tp.header)
            write_segment(header, s);
        put16(out, 0xFF90);
        put16(out, 10);
        put16(out, tp.tileno);
        put32(out, tp.psot_zero
                       ? 0
                       : static_cast<std::uint32_t>(12 + header.size() + 2 + tp.data.size()));
        out.push_back(tp.partno);
        out.push_back(tp.numparts);
        out.insert(out.end(), header.begin(), header.end());
        put16(out, 0xFF93);
        out.insert(out.end(), tp.data.begin(), tp.data.end());
    }
    if (eoc)
        put16(out, 0xFFD9);
    return out;
}

void BitWriter::bits(unsigned value, int n) {
    for (int i = n - 1; i >= 0; --i)
        bit((value >> i) & 1);
}

void BitWriter::bit(unsigned b) {
    if (free_ == 0) {
        out_.push_back(0);
        free_ = out_.size() > 1 && out_[out_.size() - 2] == 0xFF ? 7 : 8;
    }
    --free_;
    out_.back() |= static_cast<std::uint8_t>(b << free_);
}

std::vector<Segment> main_header(const HeaderSpec& p) {
    Segment siz{0xFF51, {0, 0}};
    for (std::uint32_t v : {p.width, p.height, 0u, 0u, p.tilewidth ? p.tilewidth : p.width,
                            p.tileheight ? p.tileheight : p.height, 0u, 0u})
        put32(siz.body, v);
    put16(siz.body, static_cast<unsigned>(p.comps));
    for (int c = 0; c < p.comps; ++c)
        siz.body.insert(siz.body.end(), {static_cast<std::uint8_t>(p.bits - 1), 1, 1});
    Segment cod{0xFF52, {static_cast<std::uint8_t>(p.prc >= 0), static_cast<std::uint8_t>(p.prog)}};
    put16(cod.body, static_cast<unsigned>(p.layers));
    cod.body.insert(
        cod.body.end(),
        {0, static_cast<std::uint8_t>(p.levels), static_cast<std::uint8_t>(p.cblk - 2),
         static_cast<std::uint8_t>(p.cblk - 2), 0, static_cast<std::uint8_t>(!p.irreversible)});
    for (int r = 0; p.prc >= 0 && r <= p.levels; ++r)
        cod.body.push_back(static_cast<std::uint8_t>(p.prc * 0x11));
    Segment qcd{0xFF5C, {static_cast<std::uint8_t>(p.irreversible ? 2 << 5 | 2 : 2 << 5)}};
    for (int b = 0; b < 3 * p.levels + 1; ++b) {
        if (p.irreversible)
            put16(qcd.body, static_cast<unsigned>(p.expn << 11));
        else
            qcd.body.push_back(static_cast<std::uint8_t>(p.expn << 3));
    }
    return {siz, cod, qcd};
}

Codestream iterator_walk_stream() {
    Codestream walk;
    walk.main = main_header({.width = 256, .height = 256, .comps = 3, .prc = 0, .layers = 65535});
    Segment poc{0xFF5F, {}};
    for (int i = 0; i < 9360; ++i) {  // RSpoc CSpoc LYEpoc REpoc CEpoc Ppoc: layer 0 of comp 0
        poc.body.insert(poc.body.end(), {0, 0, 0, 1, 1, 1, 0});
    }
    walk.main.push_back(poc);
    walk.parts.push_back({0, 0, 1, false, {}, Bytes(65536 + 4, 0), 0});
    return walk;
}

Codestream synthesis_stream(std::uint32_t side, int comps, int comments) {
    Codestream synthesis;
    synthesis.main = main_header({.width = side,
                                  .height = side,
                                  .comps = comps,
                                  .levels = 5,
                                  .prc = 6,
                                  .bits = 16,
                                  .irreversible = true});
    for (int i = 0; i < comments; ++i) {
        synthesis.main.push_back({0xFF64, Bytes(60000, 1)});
    }
    BitWriter block;  // one code-block included with one pass of one byte
    block.bits(0b111, 3);
    block.bits(0b00001, 5);
    block.align();
    block.out_.push_back(0x5A);
    synthesis.parts.push_back({0, 0, 1, false, {}, block.out_, 0});
    return synthesis;
}

Bytes read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::string fixture_path(const std::string& name) {
    return std::string(ORVANE_J2000_FIXTURES) + "/" + name;
}

std::vector<std::uint32_t> plt_lengths(const TilePart& part) {
    std::vector<std::uint32_t> out;
    for (const Segment& s : part.header) {
        if (s.marker != 0xFF58)
            continue;
        std::uint32_t v = 0;
        for (size_t i = 1; i < s.body.size(); ++i) {  // after Zplt
            v = v << 7 | (s.body[i] & 0x7F);
            if (!(s.body[i] & 0x80)) {
                out.push_back(v);
                v = 0;
            }
        }
    }
    return out;
}

}  // namespace j2000test
