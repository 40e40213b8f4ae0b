#pragma once
// The JPEG 2000 decoder of the image panel (format code 7, a bare codestream: FF 4F FF 51).
//
// Hands the file to our JPEG 2000 decoder with a cancel hook bound to the abort flag, takes
// the decoded three-component RGB image and reduces it, one source row at a time, with the
// area filter into a 24-bit picture. Components of more than 8 bits and signed ones are
// brought to 8 bits; sub-sampled components are stretched to the image's size. Only
// three-component images are shown: others end with 3000 as soon as the main header names
// them. Under a memory budget the full-size decode gets the half the picture leaves; a stream
// larger than that, or one asking for more work or memory than its bytes justify, ends with 8.
// A stream cut short shows what arrived. Runs on the loader thread, which decodes a tile's
// code-blocks and wavelet passes with one helper per further hardware thread (they inherit
// its priority) and is the only one to ask the abort flag.

#include <string>

#include "Components/ImgPanel/ImgCtrl.h"

namespace j2000 {
struct jpc_cancel_t;
}

class TJ2000Img : public TImgCtrl {
  public:
    TJ2000Img();
    ~TJ2000Img() override;

    void LoadFromFile(const std::string& name) override;

    // The decoder's cancel check: nonzero once the abort flag the record's handle points at
    // is set; 0 for a record without a handle.
    static int IsAbortSignaled(const j2000::jpc_cancel_t* cancel);

  private:
    void Decode(const std::string& name);
};
