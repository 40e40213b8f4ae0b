#pragma once
// The libjpeg error manager shared by every JPEG decode of the program: the preview
// loader (TJpgImage) and the image panel's JPEG decoder.
//
// libjpeg reports a fatal error by calling error_exit, which must never return to it.
// A C++ exception must never travel through the library's C frames, so JpegErrorExit
// longjmps back to the frame that armed the manager's jump buffer with setjmp; that
// frame returns the jump code, and the C++ caller above it cleans up (RAII) and turns the
// code into its own error (EAbort, or a decoder error code).
//
// RunJpegStep below is that frame: it arms the buffer, runs one step of library calls
// and returns how the step ended. The rules it relies on:
//  - every frame a jump skips (the step's, the library's, the hooks below) holds only
//    trivially destructible locals: a jump runs no destructor;
//  - the armed frame stays active while the library runs, so each step arms the buffer
//    again in its own frame, and nothing changed after setjmp is read after a jump.
//
// The same manager also silences the library's messages (they would go to stderr) and
// stops a decode when the caller's abort flag is set, both before each row and inside
// the library's own long loops (a progressive file decodes its first pass entirely
// inside jpeg_start_decompress) through the progress monitor.

#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

// Size of the buffer that receives the library's formatted message.
inline constexpr std::size_t kJpegMessageSize = 200;
static_assert(kJpegMessageSize >= JMSG_LENGTH_MAX);

// Most memory the library may take for its whole-image buffers (progressive files keep
// every coefficient of the picture). A forged header asking for more fails cleanly
// instead of exhausting the machine; 1 GiB still covers a 150-megapixel progressive photo.
inline constexpr long kJpegMaxLibraryMemory = 1L << 30;

// Values that setjmp returns when the library hands control back through the jump.
enum JpegJump : int {
    kJpegDone = 0,     // setjmp's first return: no jump happened
    kJpegFailed = 1,   // a fatal library error, or data lost to corruption or truncation
    kJpegAborted = 2,  // the caller's abort flag was seen set
};

struct JpegErrorManager {
    jpeg_error_mgr pub;  // first member: the library's err pointer converts back to us
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[kJpegMessageSize];  // the last fatal message, for diagnostics only
    const std::atomic<bool>* abortFlag;
};

// The library's error-exit hook: formats the message into the manager's buffer, then
// jumps back to the armed frame with kJpegFailed. Never returns to the library.
[[noreturn]] void JpegErrorExit(j_common_ptr info);

// The library's message hook: prints nothing. Warnings that mean lost picture data
// (a file cut short inside its picture data, corrupt entropy data) end the decode like a fatal
// error, so a damaged file never passes for a complete picture; harmless warnings are only counted.
void JpegEmitMessage(j_common_ptr info, int msgLevel);

// The library's progress hook: checks the abort flag.
void JpegProgressMonitor(j_common_ptr info);

// Jumps back with kJpegAborted when the abort flag is set. Call it from an armed frame
// before each read; the progress monitor calls it inside the library.
void JpegCheckAbort(j_common_ptr info);

// Turns one row of CMYK samples into blue-green-red: the library converts YCCK to CMYK but
// has no step to colour. Each channel is what its ink and the black ink let through.
// Adobe's files (those with its marker) store the inks inverted, 255 meaning no ink.
void JpegCmykToBgr(const uint8_t* cmyk, uint8_t* bgr, unsigned width, bool inverted);

class JpegDecompressor;

// Runs one library-calling step with the jump buffer armed in this frame. Returns
// kJpegDone when the step ran to its end, else the JpegJump code that cut it short.
// The step (usually a lambda capturing by reference) must hold only trivially
// destructible locals: a jump skips its frame.
template <class Step>
int RunJpegStep(JpegDecompressor& decoder, const Step& step);

// Owns a decompressor and its error manager. Destroying it releases everything the
// library allocated, whether the decode finished, failed or was aborted. Neither
// copyable nor movable: the library keeps pointers into it.
class JpegDecompressor {
  public:
    // abortFlag may be null; when given it must outlive this object.
    explicit JpegDecompressor(const std::atomic<bool>* abortFlag);
    ~JpegDecompressor();
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;

    // Creates the library object, attaches the progress monitor and the memory limit.
    // May jump: call it only from a frame that has armed Jump().
    void Create();

    j_decompress_ptr Info() { return &info_; }
    std::jmp_buf& Jump() { return errors_.jump; }
    const char* Message() const { return errors_.message; }

  private:
    jpeg_decompress_struct info_{};
    JpegErrorManager errors_{};
};

template <class Step>
int RunJpegStep(JpegDecompressor& decoder, const Step& step) {
    switch (setjmp(decoder.Jump())) {
        case kJpegDone:
            break;
        case kJpegAborted:
            return kJpegAborted;
        default:
            return kJpegFailed;
    }
    step();
    return kJpegDone;
}
