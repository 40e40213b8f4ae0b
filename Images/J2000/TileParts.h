// The tile-parts of a tile, as the SOT and SOD handlers meet them: which part may come next,
// whether the codestream goes on with another part of a tile that had all it declared, and what
// lies between a tile-part's last packet and its end. Runs on the decoding thread.
//
// Encoders do not always keep to the counts: TPsot and TNsot are 8 bits, so a tile of more than
// 255 tile-parts wraps both, and some write more tile-parts than TNsot says. Such parts are read
// (with a note) as long as they follow the tile's others: a tile that had the parts it declared
// is reconstructed only when the next marker segment is not another of its tile-parts.
#pragma once

#include "Images/J2000/Decoder.h"
#include "Images/J2000/MarkerSegment.h"
#include "Images/J2000/Stream.h"
#include "Images/J2000/TileStructure.h"

namespace j2000 {

// Whether tile-part `sot` may come now for `tile`: 0, or -1 with the reason written.
int dec_checktilepart(jpc_dec_t& dec, const jpc_sot_t& sot, const jpc_dec_tile_t& tile);

// Whether the tile-part just read is the last of `tile`: the tile has had the tile-parts it
// declared, and the next marker segment is not another of its tile-parts (looked at and put
// back). A tile that had more than it declared is noted.
bool dec_lasttilepart(jpc_dec_t& dec, const jpc_dec_tile_t& tile);

// After the packets of the current tile-part of `tile`: skips what lies between them and the end
// Psot gave (a warning, which says once per tile why they may be there), or notes that they ran
// past it. -1 when the skip meets the end of the codestream.
int dec_finishtilepart(jpc_dec_t& dec, jpc_dec_tile_t& tile);

// Passes over the packets of a tile-part whose tile has no more use for data (a packet cut
// short ended it): to the end Psot gives, or without Psot to the next marker that can follow
// packet data. -1 when the codestream ends first.
int dec_skiptilepart(jpc_dec_t& dec);

// Writes why the packets of `tile` may have been read out of step, after `prefix`, when the tile
// comes in several tile-parts and has a resolution level without samples; false when it has none.
bool dec_explainemptylevel(const jpc_dec_t& dec, const jpc_dec_tile_t& tile,
                           const char* prefix = "");

}  // namespace j2000
