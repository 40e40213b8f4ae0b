#pragma once
// The error codes every decoder reports, and their texts.
//
// Codes below 3000 keep the numbers of the platform errors the decoders were written
// against; the program's own codes start at 3000. The texts come from the fixed table in
// ImgErrors.cpp: nothing asks the system for a message.

#include <string>

namespace ImgError {
inline constexpr unsigned long NotEnoughMemory = 8;
inline constexpr unsigned long BadFormat = 11;
inline constexpr unsigned long ReadFault = 30;
inline constexpr unsigned long OpenFailed = 110;
inline constexpr unsigned long Aborted = 995;  // the decode was stopped; never shown
inline constexpr unsigned long Unknown = 3000;
inline constexpr unsigned long TiffDirectory = 3001;
inline constexpr unsigned long InvalidBitmap = 3002;
}  // namespace ImgError

// The text for a decoder error code; empty for a code the table does not know.
std::string FormatErrorMessage(unsigned long code);

// What a decode step throws to end the decode with a code; the decode frame of TImgCtrl
// turns it into the decoder's error code.
struct TImgDecodeError {
    unsigned long code;
};
