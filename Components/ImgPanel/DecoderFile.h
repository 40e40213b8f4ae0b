#pragma once
// The open file of one decode: read-only, closed when the decode ends whatever way it
// ends, with reads that either deliver every byte asked for or end the decode.

#include <cstddef>
#include <cstdint>
#include <string>

class DecoderFile {
  public:
    // Opens name; throws TImgDecodeError{110} when it cannot be opened or is not a regular
    // file (a pipe or a device is never read as a picture).
    explicit DecoderFile(const std::string& name);
    ~DecoderFile();
    DecoderFile(const DecoderFile&) = delete;
    DecoderFile& operator=(const DecoderFile&) = delete;

    uint64_t Size() const { return size_; }
    // Reads exactly count bytes at the current position; throws TImgDecodeError{30} on a
    // short read or a read error.
    void ReadExact(void* buffer, std::size_t count);
    // Moves to offset from the start; throws TImgDecodeError{30} past the end of the file.
    void SeekTo(uint64_t offset);

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
};
