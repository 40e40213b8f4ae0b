#pragma once
// Feeds libjpeg a file in large blocks. The library's own stdio source reads 4 KiB at a
// time, and its Huffman decoder takes its fast path only while a few kilobytes of input
// lie ahead in the buffer (enough for the largest possible run of blocks), so with 4 KiB
// blocks most of every block is decoded on the slow path. With blocks of kBlockBytes that
// happens only at the few block ends; the pixels are the same either way.
//
// The source reads on the decoding thread; the file and the source must outlive the
// decompressor's reads (declare both before the JpegDecompressor).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

class JpegFileSource {
  public:
    // Large enough that block ends are rare, small enough to stay in the processor's
    // second-level cache between the read and the decode.
    static constexpr std::size_t kBlockBytes = std::size_t{256} << 10;

    explicit JpegFileSource(std::FILE* file);
    JpegFileSource(const JpegFileSource&) = delete;
    JpegFileSource& operator=(const JpegFileSource&) = delete;

    // Makes this the decompressor's source. Call it after jpeg_create_decompress; it may
    // jump (no memory for the block), so call it from an armed frame.
    void Attach(j_decompress_ptr info);

  private:
    static void InitSource(j_decompress_ptr info);
    static boolean FillInputBuffer(j_decompress_ptr info);
    static void SkipInputData(j_decompress_ptr info, long count);
    static void TermSource(j_decompress_ptr info);
    static JpegFileSource& Of(j_decompress_ptr info);

    // What the library holds as its source: its record, first, and the way back to us. The
    // link alone needs a standard layout, which a class with a unique_ptr has with some
    // standard libraries only.
    struct Link {
        jpeg_source_mgr pub;
        JpegFileSource* owner;
    };
    Link link_{};
    std::FILE* file_;
    std::unique_ptr<uint8_t[]> block_;
    bool readAny_ = false;  // an empty file is an error, a short one only a warning
};
