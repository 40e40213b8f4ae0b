// Coding parameters of the main header and of each tile, as COD, COC, QCD, QCC, RGN and POC
// set them. Tile set-up and the packet decoder read them; nothing else writes them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Images/J2000/MarkerSegment.h"

namespace j2000 {

inline constexpr int kMaxResolutions = 33;  // 32 decomposition levels + 1
inline constexpr int kMaxStepSizes = 3 * kMaxResolutions - 2;

enum ProgressionOrder : std::uint8_t { LRCP = 0, RLCP = 1, RPCL = 2, PCRL = 3, CPRL = 4 };

// Code-block style bits (SPcod/SPcoc).
enum CblkStyle : std::uint8_t {
    kCblkBypass = 0x01,
    kCblkResetCtx = 0x02,
    kCblkTermAll = 0x04,
    kCblkVertCausal = 0x08,
    kCblkPredTerm = 0x10,
    kCblkSegSym = 0x20,
    kCblkHighThroughput = 0x40,
};

// COD Scod bits kept in `jpc_dec_cp_t::csty`.
enum CodingStyle : std::uint8_t { kCodSop = 0x02, kCodEph = 0x04 };

enum MctId : std::uint8_t { kMctNone = 0, kMctIrreversible = 1, kMctReversible = 2 };

struct jpc_pchg_t {
    std::uint8_t prgord = 0;
    std::uint8_t rlvlnostart = 0, rlvlnoend = 0;
    std::uint16_t compnostart = 0, compnoend = 0;
    std::uint16_t lyrnoend = 0;
};
using jpc_pchglist_t = std::vector<jpc_pchg_t>;

// Per-component parameters.
struct jpc_dec_ccp_t {
    enum Flags : std::uint8_t { kCodSet = 1, kQcdSet = 2, kByCoc = 4, kByQcc = 8 };
    std::uint8_t flags = 0;
    std::uint8_t csty = 0;  // 1 when precinct sizes are given
    std::uint8_t numrlvls = 0;
    std::uint8_t cblkwidthexpn = 0, cblkheightexpn = 0;
    std::uint8_t qmfbid = 0;               // 0 = 9/7 irreversible, 1 = 5/3 reversible
    std::uint8_t qsty = 0;                 // 0 none, 1 scalar derived, 2 scalar expounded
    std::vector<std::uint16_t> stepsizes;  // exponent << 11 | mantissa, one per band once complete
    std::uint8_t numguardbits = 0;
    std::uint8_t roishift = 0;
    std::uint8_t cblkctx = 0;  // code-block style bits
    std::array<std::uint8_t, kMaxResolutions> prcwidthexpns{}, prcheightexpns{};
};

struct jpc_dec_cp_t {
    enum Flags : std::uint32_t { kCodSeen = 1, kQcdSeen = 2 };
    std::uint32_t flags = 0;
    jpc_pchglist_t pchglist;
    bool pchglist_inherited = false;  // a tile's list came from the main header
    std::uint8_t prgord = 0;
    std::uint16_t numlyrs = 0;
    std::uint8_t mctid = kMctNone;
    std::uint8_t csty = 0;  // SOP/EPH bits
    std::vector<jpc_dec_ccp_t> ccps;
};

// The copy a tile starts from: tile-part COD and QCD outrank main-header COC and QCC, so the
// per-component "set by COC/QCC" marks are dropped in the copy.
jpc_dec_cp_t cp_fortile(const jpc_dec_cp_t& main);

// Each returns false, storing nothing, when the segment asks for what this decoder refuses,
// with the reason in `why` when it is given.
bool cp_setfromcod(jpc_dec_cp_t& cp, const jpc_cod_t& cod, std::string* why = nullptr);
bool cp_setfromcoc(jpc_dec_cp_t& cp, const jpc_coc_t& coc, std::string* why = nullptr);
bool cp_setfromqcd(jpc_dec_cp_t& cp, const jpc_qcd_t& qcd, std::string* why = nullptr);
bool cp_setfromqcc(jpc_dec_cp_t& cp, const jpc_qcc_t& qcc, std::string* why = nullptr);
void cp_setfromrgn(jpc_dec_cp_t& cp, const jpc_rgn_t& rgn);
// `append`: a later tile-part's POC adds to the list instead of replacing it.
void cp_setfrompoc(jpc_dec_cp_t& cp, const jpc_poc_t& poc, bool append);

// At a tile's first SOD: false when COD or QCD is missing or a component's step sizes do not
// cover its bands; otherwise fills in default precinct sizes and derives step sizes (which
// fails for an exponent outside 0 to 31).
bool cp_complete(jpc_dec_cp_t& cp);

}  // namespace j2000
