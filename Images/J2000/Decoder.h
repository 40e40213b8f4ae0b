// The entry of the JPEG 2000 codestream decoder: `jpc_decode` reads marker segment after marker
// segment, accepting each only in the decoder states that allow it, fills the coding parameters,
// builds each tile at its first SOD and reads its packets (tier 2). Once a tile's packets are all
// in, the caller's tile decoder (tier 1 and reconstruction) finishes it into the image record.
//
// Thread use: a decode touches only its own objects (the decoder, its streams, the image), so
// several decodes may run at once on different threads. The tile decoder shares a tile's work
// with threads of its own (DecodeEnv::threads), joined before jpc_decode returns.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "Images/J2000/CodingParams.h"
#include "Images/J2000/Diagnostics.h"
#include "Images/J2000/Image.h"
#include "Images/J2000/MarkerSegment.h"
#include "Images/J2000/PacketDecoder.h"
#include "Images/J2000/Stream.h"
#include "Images/J2000/TileStructure.h"

namespace j2000 {

// The caller's cancel hook: `check` answers nonzero when decoding is to stop. It is polled
// before every marker segment and every packet, and in the tile decoder before each of its
// jobs (code-blocks, passes of the synthesis, rows of samples), always on the decoding thread.
struct jpc_cancel_t {
    void* handle = nullptr;
    int (*check)(const jpc_cancel_t*) = nullptr;
};

enum class DecodeStatus { Ok, Failed, Cancelled };

// Caps on what a codestream may make the decoder allocate.
struct DecodeLimits {
    std::uint64_t maxsamples = std::uint64_t{1} << 30;  // all components together
    std::uint64_t maxblocks = std::uint64_t{1} << 20;   // code-blocks and precincts per tile
};

enum DecoderState : int {
    kStateSoc = 1,
    kStateSiz = 2,
    kStateMainHeader = 4,
    kStateTilePartOrEoc = 8,
    kStateTilePartHeader = 16,
    kStateDone = 32,
};

struct jpc_dec_cmpt_t {
    std::uint32_t width = 0, height = 0;  // samples on the component's own grid
    jpc_sizcmpt_t siz;
};

struct jpc_dec_t;
// Finishes a tile whose packets are all read: 0, or -1 on failure.
using TileDecodeFn = std::function<int(jpc_dec_t& dec, jpc_dec_tile_t& tile)>;

struct DecodeEnv {
    Diagnostics diag;         // standard error unless the caller sets a sink
    TileDecodeFn decodetile;  // none: tiles end after tier 2
    std::function<void(const PacketInfo&)> on_packet;
    DecodeLimits limits;
    // Threads the tile decoder may work with, the decoding thread's included; 0: one per
    // hardware thread. The output does not depend on it.
    unsigned threads = 0;
};

// What the tile decoder keeps from one tile to the next (Reconstruction.cpp).
struct ReconstructionState;

struct jpc_dec_t {
    ImagePtr image;
    std::uint32_t xstart = 0, ystart = 0, xend = 0, yend = 0;
    std::uint32_t tilewidth = 0, tileheight = 0, tilexoff = 0, tileyoff = 0;
    int numhtiles = 0, numvtiles = 0, numtiles = 0;
    std::vector<jpc_dec_tile_t> tiles;
    int curtile = -1;
    int numcomps = 0;
    stream_t* in = nullptr;
    jpc_dec_cp_t cp;
    int maxlyrs = -1;
    int ppmseqno = 0;
    int state = 0;
    std::vector<jpc_dec_cmpt_t> cmpts;
    std::deque<StreamPtr> pkthdrstreams;  // packed packet headers of PPM, one per tile-part
    std::int64_t curtileendoff = 0;       // where the current tile-part ends; 0 when unknown
    jpc_cstate_t cstate;
    const jpc_cancel_t* cancel = nullptr;
    const DecodeEnv* env = nullptr;
    int tilesdecoded = 0;
    bool cancelled = false;
    bool overlimits = false;  // the SIZ asked for more samples than `DecodeLimits` allows
    // The tile decoder's sample planes and threads, kept from one tile to the next so that a
    // picture of many tiles does not allocate (and fault in) its planes or start its threads
    // tile by tile.
    std::shared_ptr<ReconstructionState> reconstruction;
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Failed;
    // After a failure or a cancel the image holds the tiles finished before it; null when no
    // SIZ was read or no tile was finished.
    ImagePtr image;
    int tilesdecoded = 0;
    // Failed only because the image has more samples than `DecodeLimits::maxsamples`.
    bool overLimits = false;
};

// Options: "maxlyrs=<n>" (decode only the first n layers), "debug=<n>" (dump every marker
// segment when above 0), separated by white space. A null `optstr` means none.
DecodeResult jpc_decode(stream_t& in, const char* optstr, const jpc_cancel_t* cancel,
                        const DecodeEnv& env);
DecodeResult jpc_decode(stream_t& in, const char* optstr);

}  // namespace j2000
