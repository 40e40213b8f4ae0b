#include "Components/ImgPanel/ImgErrors.h"

#include <array>
#include <utility>

namespace {

// The platform's wording for the platform codes the decoders use, and the program's own.
constexpr std::array<std::pair<unsigned long, const char*>, 8> kErrorTexts{{
    {ImgError::NotEnoughMemory,
     "Not enough memory resources are available to process this command."},
    {ImgError::BadFormat, "An attempt was made to load a program with an incorrect format."},
    {ImgError::ReadFault, "The system cannot read from the specified device."},
    {ImgError::OpenFailed, "The system cannot open the device or file specified."},
    {ImgError::Aborted,
     "The I/O operation has been aborted because of either a thread exit or an application "
     "request."},
    {ImgError::Unknown, "Unknown error."},
    {ImgError::TiffDirectory, "Error setting tiff directory."},
    {ImgError::InvalidBitmap, "Invalid bitmap file."},
}};

}  // namespace

std::string FormatErrorMessage(unsigned long code) {
    for (const auto& [known, text] : kErrorTexts) {
        if (known == code) {
            return text;
        }
    }
    return {};
}
