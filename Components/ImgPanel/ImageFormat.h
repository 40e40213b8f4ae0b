#pragma once
// Picks a picture's format from its first bytes, and the two small file helpers the
// decoders share.

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

// Format codes; the numbers are the ones the panel and the decoder factory agree on.
enum TImgFormat : int8_t {
    ifUnsupported = 0,
    ifBmp = 1,
    ifJpeg = 2,
    ifGif = 3,
    ifPng = 4,
    ifIco = 5,
    ifTiff = 6,
    ifJpeg2000 = 7,  // a bare JPEG 2000 codestream
    ifWic = 8,
};

// The format of the file by its first four bytes (a short file reads as zeros after its
// end); ifUnsupported when the file cannot be opened or nothing matches.
TImgFormat GetImageFormat(const std::string& name);

// The same test on bytes already read; fewer than four count as zero-padded.
TImgFormat ImageFormatOfBytes(const uint8_t* bytes, std::size_t count);

// Reads exactly count bytes; false on an error or a short read (end of file included).
bool ReadFileExact(int fd, void* buffer, std::size_t count);

// Moves the file position (whence: SEEK_SET, SEEK_CUR, SEEK_END); false when that fails.
bool SeekFile(int fd, off_t offset, int whence);
