// Marker segments of a JPEG 2000 codestream: their records, the reader `jpc_getms` and the dump.
// A segment's parameters are parsed from a private copy of exactly its length, so a short
// segment ends in "no more bytes" instead of reading into the next segment.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "Images/J2000/Diagnostics.h"
#include "Images/J2000/Stream.h"

namespace j2000 {

enum MarkerCode : std::uint16_t {
    JPC_MS_SOC = 0xFF4F,
    JPC_MS_SOT = 0xFF90,
    JPC_MS_SOD = 0xFF93,
    JPC_MS_EOC = 0xFFD9,
    JPC_MS_SIZ = 0xFF51,
    JPC_MS_COD = 0xFF52,
    JPC_MS_COC = 0xFF53,
    JPC_MS_RGN = 0xFF5E,
    JPC_MS_QCD = 0xFF5C,
    JPC_MS_QCC = 0xFF5D,
    JPC_MS_POC = 0xFF5F,
    JPC_MS_TLM = 0xFF55,
    JPC_MS_PLM = 0xFF57,
    JPC_MS_PLT = 0xFF58,
    JPC_MS_PPM = 0xFF60,
    JPC_MS_PPT = 0xFF61,
    JPC_MS_SOP = 0xFF91,
    JPC_MS_EPH = 0xFF92,
    JPC_MS_CRG = 0xFF63,
    JPC_MS_COM = 0xFF64,
};

struct jpc_sot_t {
    std::uint16_t tileno = 0;   // Isot
    std::uint32_t len = 0;      // Psot
    std::uint8_t partno = 0;    // TPsot
    std::uint8_t numparts = 0;  // TNsot
};

struct jpc_sizcomp_t {
    std::uint8_t prec = 0;  // (Ssiz & 0x7F) + 1
    std::uint8_t sgnd = 0;
    std::uint8_t hsamp = 0;  // XRsiz
    std::uint8_t vsamp = 0;  // YRsiz
};

struct jpc_siz_t {
    std::uint16_t caps = 0;  // Rsiz
    std::uint32_t width = 0, height = 0, xoff = 0, yoff = 0;
    std::uint32_t tilewidth = 0, tileheight = 0, tilexoff = 0, tileyoff = 0;
    std::uint16_t numcomps = 0;
    std::vector<jpc_sizcomp_t> comps;
};

// Precinct size exponents of one resolution level.
struct jpc_coxrlvl_t {
    std::uint8_t prcwidthval = 0;
    std::uint8_t prcheightval = 0;
};

// SPcod / SPcoc.
struct jpc_coxcp_t {
    std::uint8_t csty = 0;  // 1 when precinct sizes are given
    std::uint8_t numdlvls = 0;
    std::uint8_t cblkwidthval = 0;
    std::uint8_t cblkheightval = 0;
    std::uint8_t cblksty = 0;
    std::uint8_t qmfbid = 0;           // 0 = 9/7 irreversible, 1 = 5/3 reversible
    std::vector<jpc_coxrlvl_t> rlvls;  // numdlvls + 1 entries when precinct sizes are given
};

struct jpc_cod_t {
    std::uint8_t csty = 0;  // Scod
    std::uint8_t prg = 0;
    std::uint16_t numlyrs = 0;
    std::uint8_t mctrans = 0;
    jpc_coxcp_t compparms;
};

struct jpc_coc_t {
    std::uint16_t compno = 0;
    std::uint8_t csty = 0;  // Scoc
    jpc_coxcp_t compparms;
};

struct jpc_rgn_t {
    std::uint16_t compno = 0;
    std::uint8_t roisty = 0;
    std::uint8_t roishift = 0;
};

// SQcx and its step sizes: exponent in the top 5 bits, mantissa in the low 11.
struct jpc_qcxcp_t {
    std::uint8_t qntsty = 0;  // 0 none, 1 scalar derived, 2 scalar expounded
    std::uint8_t numguard = 0;
    std::vector<std::uint16_t> stepsizes;
};

struct jpc_qcd_t {
    jpc_qcxcp_t compparms;
};

struct jpc_qcc_t {
    std::uint16_t compno = 0;
    jpc_qcxcp_t compparms;
};

struct jpc_pocpchg_t {
    std::uint8_t prgord = 0;
    std::uint8_t rlvlnostart = 0;
    std::uint8_t rlvlnoend = 0;
    std::uint16_t compnostart = 0;
    std::uint16_t compnoend = 0;
    std::uint16_t lyrnoend = 0;
};

struct jpc_poc_t {
    std::vector<jpc_pocpchg_t> pchgs;
};

struct jpc_ppm_t {
    std::uint8_t ind = 0;       // Zppm
    bool firstpartial = false;  // the first piece continues a header of the previous PPM
    bool lastpartial = false;   // the last header continues in the next PPM
    std::vector<std::vector<std::uint8_t>> pkthdrs;  // one per tile-part (or piece of one)
};

struct jpc_ppt_t {
    std::uint8_t ind = 0;  // Zppt
    std::vector<std::uint8_t> data;
};

struct jpc_sop_t {
    std::uint16_t seqno = 0;
};

struct jpc_crgcomp_t {
    std::uint16_t hoff = 0, voff = 0;
};

struct jpc_crg_t {
    std::vector<jpc_crgcomp_t> comps;
};

// TLM, PLM, COM and markers without a reader of their own.
struct jpc_raw_t {
    std::vector<std::uint8_t> data;
};

using jpc_msparms_t =
    std::variant<std::monostate, jpc_sot_t, jpc_siz_t, jpc_cod_t, jpc_coc_t, jpc_rgn_t, jpc_qcd_t,
                 jpc_qcc_t, jpc_poc_t, jpc_ppm_t, jpc_ppt_t, jpc_sop_t, jpc_crg_t, jpc_raw_t>;

// Name and parameter kind of a marker; markers not listed share the "UNKNOWN" row.
struct jpc_msinfo_t {
    int id;  // -1 for the "UNKNOWN" row
    const char* name;
};

const jpc_msinfo_t& jpc_mstab_lookup(int id);

struct jpc_ms_t {
    std::uint16_t id = 0;
    std::uint16_t len = 0;  // parameter bytes: the length field minus 2, 0 without one
    const jpc_msinfo_t* ops = nullptr;
    jpc_msparms_t parms;
};

using MarkerSegmentPtr = std::unique_ptr<jpc_ms_t>;

// State shared by the readers of one codestream.
struct jpc_cstate_t {
    int numcomps = 0;  // from SIZ: component numbers are 8 bits wide up to 256 components
    std::uint8_t ppmnextind = 0;  // the Zppm that must continue a split header
    std::uint32_t ppmleft = 0;    // bytes of that header still to come
};

// The next marker segment, or null when the stream ends or the segment is malformed. Texts
// (the dump at debug level, trailing bytes) go to `diag`.
MarkerSegmentPtr jpc_getms(stream_t& in, jpc_cstate_t& cstate, const Diagnostics& diag);
void jpc_ms_dump(const jpc_ms_t& ms, const Diagnostics& diag);

// 0 when the stream starts with SOC (both bytes are put back), else -1.
int jpc_validate(stream_t& in);

// Big-endian reads: 0, or -1 as soon as a byte is missing.
int jpc_getuint8(stream_t& in, std::uint8_t* val);
int jpc_getuint16(stream_t& in, std::uint16_t* val);
int jpc_getuint32(stream_t& in, std::uint32_t* val);

}  // namespace j2000
