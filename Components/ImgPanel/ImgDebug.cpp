#include "Components/ImgPanel/ImgDebug.h"

#include <cstdarg>
#include <cstdio>

Q_LOGGING_CATEGORY(lcImgAssert, "orvane.image.assert", QtWarningMsg)
Q_LOGGING_CATEGORY(lcImgTrace, "orvane.image.trace", QtInfoMsg)

namespace {
constexpr int kTraceBufferSize = 512;
}

int ImgAssertReport(const char* file, const char* function, int line) {
    qCWarning(lcImgAssert).noquote().nospace()
        << "Debug Assertion Failed! File " << (file ? file : "?") << ", line " << line
        << ", function " << (function ? function : "?");
    return 0;
}

bool ImgTraceEnabled() {
    return lcImgTrace().isDebugEnabled();
}

void ImgTrace(const char* format, ...) {
    if (!ImgTraceEnabled() || format == nullptr) {
        return;
    }
    char buffer[kTraceBufferSize];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0) {
        ImgAssertReport(__FILE__, "Trace", __LINE__);
        return;
    }
    qCDebug(lcImgTrace).noquote() << buffer;
}
