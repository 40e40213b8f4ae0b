#include "imaging/JpegFileSource.h"

#include <jerror.h>

#include <cstddef>
#include <new>
#include <type_traits>

namespace {

// What a source hands the library when the file ends too early: an end-of-picture marker,
// so the library stops asking (after the warning that lets the caller refuse the picture).
const JOCTET kEndOfPicture[2] = {0xFF, JPEG_EOI};

}  // namespace

JpegFileSource::JpegFileSource(std::FILE* file) : file_(file) {
    jpeg_source_mgr& pub = link_.pub;
    pub.init_source = InitSource;
    pub.fill_input_buffer = FillInputBuffer;
    pub.skip_input_data = SkipInputData;
    pub.resync_to_restart = jpeg_resync_to_restart;
    pub.term_source = TermSource;
}

void JpegFileSource::Attach(j_decompress_ptr info) {
    static_assert(std::is_standard_layout_v<Link> && offsetof(Link, pub) == 0);
    // Left uninitialised: every byte the library reads was read from the file first.
    block_.reset(new (std::nothrow) uint8_t[kBlockBytes]);
    if (!block_) {
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    }
    link_.pub.next_input_byte = nullptr;
    link_.pub.bytes_in_buffer = 0;
    link_.owner = this;
    readAny_ = false;
    info->src = &link_.pub;
}

JpegFileSource& JpegFileSource::Of(j_decompress_ptr info) {
    return *reinterpret_cast<Link*>(info->src)->owner;
}

void JpegFileSource::InitSource(j_decompress_ptr) {}

void JpegFileSource::TermSource(j_decompress_ptr) {}

boolean JpegFileSource::FillInputBuffer(j_decompress_ptr info) {
    JpegFileSource& source = Of(info);
    const std::size_t count = std::fread(source.block_.get(), 1, kBlockBytes, source.file_);
    if (count == 0) {
        if (!source.readAny_) {
            ERREXIT(info, JERR_INPUT_EMPTY);
        }
        WARNMS(info, JWRN_JPEG_EOF);
        source.link_.pub.next_input_byte = kEndOfPicture;
        source.link_.pub.bytes_in_buffer = sizeof kEndOfPicture;
        return TRUE;
    }
    source.readAny_ = true;
    source.link_.pub.next_input_byte = source.block_.get();
    source.link_.pub.bytes_in_buffer = count;
    return TRUE;
}

// Skips by reading: the skipped data (a marker's contents) is small beside the picture, and
// a read never fails the way a seek on a pipe would. A file that ends inside the skipped
// part warns, which ends the decode (JpegEmitMessage).
void JpegFileSource::SkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr& pub = Of(info).link_.pub;
    auto remaining = static_cast<std::size_t>(count);
    while (remaining > pub.bytes_in_buffer) {
        remaining -= pub.bytes_in_buffer;
        FillInputBuffer(info);
    }
    pub.next_input_byte += remaining;
    pub.bytes_in_buffer -= remaining;
}
