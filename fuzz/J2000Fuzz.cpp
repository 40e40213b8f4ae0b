// Feeds arbitrary bytes to the JPEG 2000 codestream decoder, the whole decode: marker segments,
// tile set-up, packet iteration, tier 2, tier 1 and reconstruction. Every status counts as a pass;
// only a crash or a sanitizer report is a finding.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Images/J2000/Decoder.h"
#include "Images/J2000/Reconstruction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    j2000::StreamPtr in = j2000::stream_memopen(bytes.data(), bytes.size());
    if (!in)
        return 0;
    j2000::DecodeEnv env;
    env.diag = j2000::Diagnostics([](const std::string&) {});
    env.decodetile = j2000::jpc_dec_tiledecode;
    // One thread: the coverage counters every thread would update slow a decode on eight
    // threads several hundred times (4096 tiles of 16-bit 9/7: 52 s against 0.1 s uninstrumented).
    env.threads = 1;
    // A small header may claim a huge picture or a huge amount of work: the decoder's own
    // budget, not a cap of the harness, is what keeps each run short.
    j2000::jpc_decode(*in, "", nullptr, env);
    return 0;
}
