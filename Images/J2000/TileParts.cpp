#include "Images/J2000/TileParts.h"

namespace j2000 {

namespace {

int tile_index(const jpc_dec_t& dec, const jpc_dec_tile_t& tile) {
    return static_cast<int>(&tile - dec.tiles.data());
}

// A level without samples in either direction, in a tile of several tile-parts: its component
// and resolution; false when there is none.
bool find_empty_level(const jpc_dec_tile_t& tile, int& compno, int& rlvlno) {
    if (tile.numparts <= 1 && tile.partno == 0)
        return false;
    for (size_t c = 0; c < tile.tcomps.size(); ++c) {
        const std::vector<jpc_dec_rlvl_t>& rlvls = tile.tcomps[c].rlvls;
        for (size_t r = 0; r < rlvls.size(); ++r)
            if (rlvls[r].xstart >= rlvls[r].xend || rlvls[r].ystart >= rlvls[r].yend) {
                compno = static_cast<int>(c);
                rlvlno = static_cast<int>(r);
                return true;
            }
    }
    return false;
}

// Whether the next marker segment of `in` is an SOT of tile `tileno`: its first six bytes
// (marker, Lsot, Isot) are looked at and put back.
bool next_part_is_of(stream_t& in, int tileno) {
    int bytes[6];
    int n = 0;
    while (n < 6 && (bytes[n] = in.getc()) != EOF_)
        ++n;
    const bool same =
        n == 6 && (bytes[0] << 8 | bytes[1]) == JPC_MS_SOT && (bytes[4] << 8 | bytes[5]) == tileno;
    while (n > 0)
        in.ungetc(bytes[--n]);
    return same;
}

}  // namespace

int dec_checktilepart(jpc_dec_t& dec, const jpc_sot_t& sot, const jpc_dec_tile_t& tile) {
    const Diagnostics& diag = dec.env->diag;
    if (tile.state == jpc_dec_tile_t::kDone) {
        diag.printf("SOT: tile %d is finished already\n", sot.tileno);
    } else if (sot.partno != (tile.partno & 0xFF)) {
        diag.printf("SOT: tile-part %d of tile %d where part %d was expected\n", sot.partno,
                    sot.tileno, tile.partno);
    } else {
        if (tile.partno == 256)
            diag.printf("warning: tile %d has more than 256 tile-parts; their numbers wrap to 0\n",
                        sot.tileno);
        return 0;
    }
    dec.explained = true;
    return -1;
}

bool dec_lasttilepart(jpc_dec_t& dec, const jpc_dec_tile_t& tile) {
    if (tile.numparts <= 0 || tile.partno < tile.numparts - 1 ||
        next_part_is_of(*dec.in, tile_index(dec, tile)))
        return false;
    if (tile.partno >= tile.numparts)
        dec.env->diag.printf(
            "warning: tile %d has %d tile-parts, more than the %d its SOT segments declare\n",
            tile_index(dec, tile), tile.partno + 1, tile.numparts);
    return true;
}

// Bytes after a tile's packets are passed over with a warning; in a tile whose packets may have
// been read out of step (see dec_explainemptylevel) the warning says so. The tile is still
// reconstructed: packets out of step by whole layers of a precinct (as when every tile-part
// holds one packet) bring every code-block its own bytes.
int dec_finishtilepart(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
    if (dec.curtileendoff <= 0)
        return 0;
    const Diagnostics& diag = dec.env->diag;
    const std::int64_t pos = dec.in->tell();
    if (pos < dec.curtileendoff) {
        const auto n = static_cast<unsigned long>(dec.curtileendoff - pos);
        int compno = 0, rlvlno = 0;
        if (find_empty_level(tile, compno, rlvlno)) {
            diag.printf("warning: tile %d: %lu bytes of its tile-part follow its last packet\n",
                        tile_index(dec, tile), n);
            if (!tile.outofstepexplained)
                dec_explainemptylevel(dec, tile, "warning: ");
            tile.outofstepexplained = true;
        } else {
            diag.printf("warning: ignoring trailing garbage (%lu bytes)\n", n);
        }
        for (unsigned long i = 0; i < n; ++i)
            if (dec.in->getc() == EOF_) {
                diag.printf("read error\n");
                return -1;
            }
    } else if (pos > dec.curtileendoff) {
        diag.printf("warning: not enough tile data (%lu bytes)\n",
                    static_cast<unsigned long>(pos - dec.curtileendoff));
    }
    return 0;
}

// Inside packet data an 0xFF byte is never followed by 0x90 or above.
int dec_skiptilepart(jpc_dec_t& dec) {
    stream_t& in = *dec.in;
    if (dec.curtileendoff > 0)
        return in.seek(dec.curtileendoff, SeekOrigin::Set) < 0 ? -1 : 0;
    for (int c = in.getc(), prev = -1; c != EOF_; prev = c, c = in.getc())
        if (prev == 0xFF && c >= 0x90) {
            in.ungetc(c);
            in.ungetc(prev);
            return 0;
        }
    return -1;
}

// A level without samples has no precincts and so no packets; but an encoder that splits a tile
// into tile-parts may still write a one-byte packet for it (opj_compress does in layer- and
// resolution-first orders), and every packet read after that is out of step.
bool dec_explainemptylevel(const jpc_dec_t& dec, const jpc_dec_tile_t& tile, const char* prefix) {
    int compno = 0, rlvlno = 0;
    if (!find_empty_level(tile, compno, rlvlno))
        return false;
    dec.env->diag.printf(
        "%stile %d: resolution %d of component %d has no samples and so no packets; an encoder "
        "that still writes some for it when it splits a tile into tile-parts puts the later "
        "ones out of step\n",
        prefix, tile_index(dec, tile), rlvlno, compno);
    return true;
}

}  // namespace j2000
