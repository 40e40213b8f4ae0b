// The entry of the JPEG 2000 codestream decoder: `jpc_decode` reads marker segment after marker
// segment, accepting each only in the decoder states that allow it, fills the coding parameters,
// builds each tile at its first SOD and reads its packets (tier 2). Once a tile's packets are all
// in, the caller's tile decoder (tier 1 and reconstruction) finishes it into the image record.
//
// What a codestream may make the decoder do and hold is paid from a budget it buys with its
// bytes (DecodeBudget.h); the caller caps the picture's samples. A codestream that ends early, or
// a packet cut short, ends the data of its tile there: the tiles are reconstructed from what
// arrived and the result says it is partial.
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
#include "Images/J2000/DecodeBudget.h"
#include "Images/J2000/Diagnostics.h"
#include "Images/J2000/Image.h"
#include "Images/J2000/MarkerSegment.h"
#include "Images/J2000/PacketDecoder.h"
#include "Images/J2000/Stream.h"
#include "Images/J2000/TileStructure.h"

namespace j2000 {

// The caller's cancel hook: `check` answers nonzero when decoding is to stop. It is polled
// before every marker segment and every packet, during the packet iterator's walk, as other
// work is paid for, and in the tile decoder before each of its jobs (code-blocks, passes of
// the synthesis, rows of samples), always on the decoding thread, so a stop lands within
// milliseconds.
struct jpc_cancel_t {
    void* handle = nullptr;
    int (*check)(const jpc_cancel_t*) = nullptr;
};

enum class DecodeStatus { Ok, Failed, Cancelled };

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

// Asked once the SIZ segment is read, before the image is made or a tile is read: the image's
// size on the reference grid and its components. False stops the decode (a caller that cannot
// show such a picture refuses it before any work is done).
using AcceptImageFn = std::function<bool(std::uint32_t width, std::uint32_t height,
                                         const std::vector<image_cmptparm_t>& components)>;

struct DecodeEnv {
    Diagnostics diag;         // standard error unless the caller sets a sink
    TileDecodeFn decodetile;  // none: tiles end after tier 2
    std::function<void(const PacketInfo&)> on_packet;
    AcceptImageFn accept_image;
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
    bool overlimits = false;  // refused for the caller's limits or the budget, or out of memory
    bool partial = false;     // the codestream ended early or a packet was cut short
    bool explained = false;   // the reason for a failure has been written
    DecodeBudget budget;
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
    // Failed for want of resources rather than for a broken stream: more samples than
    // `DecodeLimits::maxsamples`, more work or memory than the budget allows, or an allocation
    // that failed.
    bool overLimits = false;
    // Ok, but the codestream ended early or a packet was cut short: the tiles hold what arrived.
    bool partial = false;
};

// Writes a tile whose code-blocks never received a pass: every coefficient is 0, so each of its
// samples is the level shift alone, written without planes or synthesis. 0, or -1 when the
// image refuses it or a stop is asked for.
int dec_writeconstanttile(jpc_dec_t& dec, const jpc_dec_tile_t& tile);

// Options: "maxlyrs=<n>" (decode only the first n layers), "debug=<n>" (dump every marker
// segment when above 0), separated by white space. A null `optstr` means none.
DecodeResult jpc_decode(stream_t& in, const char* optstr, const jpc_cancel_t* cancel,
                        const DecodeEnv& env);
DecodeResult jpc_decode(stream_t& in, const char* optstr);

}  // namespace j2000
