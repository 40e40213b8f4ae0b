#include "imaging/JpegError.h"

#include <jerror.h>

namespace {

// pub is the manager's first member and the struct has standard layout, so the library's
// err pointer is also a pointer to the whole manager.
JpegErrorManager* ManagerOf(j_common_ptr info) {
    return reinterpret_cast<JpegErrorManager*>(info->err);
}

// The library only warns about these and then fills the rest of the picture with grey;
// for us the picture is damaged, and a damaged picture must not pass for a good one.
// The end of the file alone (JWRN_JPEG_EOF) is not among them: the entropy decoder reads
// ahead past the last scan's data, so a file that lacks only its end marker warns as well;
// a file that really ends too early runs out of scan data, and that warns again below.
bool LosesPictureData(int messageCode) {
    switch (messageCode) {
        case JWRN_HIT_MARKER:     // a scan ends before its data does (truncated file)
        case JWRN_MUST_RESYNC:    // restart markers lost: rows skipped
        case JWRN_HUFF_BAD_CODE:  // undecodable entropy data
        case JWRN_ARITH_BAD_CODE:
            return true;
        default:
            return false;
    }
}

// Whether every coefficient of every component has been refined down to its last bit:
// a progressive file's scans together must leave each at bit position 0.
bool ProgressiveScansComplete(j_decompress_ptr info) {
    if (info->coef_bits == nullptr) {
        return false;  // not a single scan header was read
    }
    for (int c = 0; c < info->num_components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (info->coef_bits[c][k] != 0) {
                return false;
            }
        }
    }
    return true;
}

// Whether a component has not been in any scan yet: the library latches a component's
// quantisation table when the first scan that carries it starts.
bool SomeComponentNeverScanned(j_decompress_ptr info) {
    if (info->comp_info == nullptr) {
        return true;  // the file ended before its frame header
    }
    for (int c = 0; c < info->num_components; ++c) {
        if (info->comp_info[c].quant_table == nullptr) {
            return true;
        }
    }
    return false;
}

// The arithmetic decoder, unlike the Huffman one, does not warn when a scan's data stops
// short: it decodes zeros. Its read-ahead is a byte or two, so a file lacking only its end
// marker meets the end of the file while its last row of blocks is decoded; meeting it
// before that row means the scan was cut.
bool CutInsideArithmeticScan(j_decompress_ptr info) {
    return info->arith_code && info->input_iMCU_row + 1 < info->total_iMCU_rows;
}

// Progressive files, and sequential ones with a scan per component, are read whole before
// their first row comes out. A cut between two scans loses no scan data mid-way, yet the
// picture lacks every later refinement or whole components. The end of the file is
// harmless only once every component has arrived, refined to its last bit (the file lacks
// just its end marker).
bool EndsBeforeItsLastScan(j_common_ptr info) {
    if (info->err->msg_code != JWRN_JPEG_EOF || !info->is_decompressor) {
        return false;
    }
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    return SomeComponentNeverScanned(decompress) || CutInsideArithmeticScan(decompress) ||
           (decompress->progressive_mode && !ProgressiveScansComplete(decompress));
}

}  // namespace

void JpegErrorExit(j_common_ptr info) {
    JpegErrorManager* manager = ManagerOf(info);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, kJpegFailed);
}

void JpegEmitMessage(j_common_ptr info, int msgLevel) {
    if (msgLevel >= 0) {
        return;  // trace output
    }
    info->err->num_warnings++;
    if (LosesPictureData(info->err->msg_code) || EndsBeforeItsLastScan(info)) {
        JpegErrorExit(info);
    }
}

void JpegProgressMonitor(j_common_ptr info) {
    JpegCheckAbort(info);
}

void JpegCheckAbort(j_common_ptr info) {
    JpegErrorManager* manager = ManagerOf(info);
    if (manager->abortFlag != nullptr && manager->abortFlag->load(std::memory_order_relaxed)) {
        manager->message[0] = '\0';
        std::longjmp(manager->jump, kJpegAborted);
    }
}

JpegDecompressor::JpegDecompressor(const std::atomic<bool>* abortFlag) {
    info_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = JpegErrorExit;
    errors_.pub.emit_message = JpegEmitMessage;
    errors_.progress.progress_monitor = JpegProgressMonitor;
    errors_.abortFlag = abortFlag;
}

// Safe in every state: before Create the library finds no memory manager and does
// nothing; after a jump it frees whatever the interrupted step had allocated.
JpegDecompressor::~JpegDecompressor() {
    jpeg_destroy_decompress(&info_);
}

void JpegDecompressor::Create() {
    jpeg_create_decompress(&info_);  // clears every field but err, progress included
    info_.progress = &errors_.progress;
    info_.mem->max_memory_to_use = kJpegMaxLibraryMemory;
}

namespace {
uint8_t MultiplyUnits(unsigned a, unsigned b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}
}  // namespace

void JpegCmykToBgr(const uint8_t* cmyk, uint8_t* bgr, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = MultiplyUnits(y, k);
        bgr[1] = MultiplyUnits(m, k);
        bgr[2] = MultiplyUnits(c, k);
    }
}
