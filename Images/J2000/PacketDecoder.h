// Tier 2: reads the packets of a tile-part (T.800 B.9, B.10) into the code-blocks' segments.
#pragma once

#include <cstdint>
#include <functional>

#include "Images/J2000/Diagnostics.h"
#include "Images/J2000/Stream.h"
#include "Images/J2000/TileStructure.h"

namespace j2000 {

// Where one packet lay, for diagnostics and tests: `start` to `end` in the body stream (SOP and
// header included when the header is not packed elsewhere), and its header (EPH included) from
// `hdrstart` to `hdrend` in the header stream.
struct PacketInfo {
    int compno, rlvlno, prcno, lyrno;
    std::int64_t start, end;
    std::int64_t hdrstart, hdrend;
};

struct Tier2Options {
    const Diagnostics* diag = nullptr;
    // Packets of layers at or above this (when >= 0) are read but add no passes or bytes.
    int maxlyrs = -1;
    // Polled before every packet and during the iterator's walk; true stops decoding.
    std::function<bool()> cancelled;
    std::function<void(const PacketInfo&)> on_packet;
};

// Ok: the tile-part's packets are read. Cut: a packet ran past the end of the data (or of the
// tile-part); what it brought is undone, the tile keeps what came before and `dataended` is set.
// Refused: the tile's budget refused the work or memory a packet asks for.
enum class Tier2Status { Ok, Failed, Cancelled, Cut, Refused };

// Decodes the packets of the current tile-part of `tile`. Headers come from `hdrstream` when
// the tile's headers are packed (PPM, PPT), else from `body`. `endoff` is the body offset where
// the tile-part ends, or -1 when it runs to the end of the codestream (Psot 0). The work and
// memory of precincts, code-block visits, tier 1's passes and coded data are paid from the
// tile's budget as packets arrive, before the work is done.
Tier2Status dec_decodepkts(jpc_dec_tile_t& tile, stream_t* hdrstream, stream_t& body,
                           std::int64_t endoff, const Tier2Options& options);

}  // namespace j2000
