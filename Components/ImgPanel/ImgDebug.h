#pragma once
// Diagnostics of the image library: reports of broken invariants and a debug trace.
//
// Both go to Qt logging categories, never to a message box: they are raised on the loader
// thread as often as on the UI thread, and a modal box off the UI thread is not possible.

#include <QLoggingCategory>

// Broken invariants (failed checks of the code's own assumptions); warnings, on by default.
Q_DECLARE_LOGGING_CATEGORY(lcImgAssert)
// The decoders' debug trace; off by default
// (QT_LOGGING_RULES="orvane.image.trace.debug=true" turns it on).
Q_DECLARE_LOGGING_CATEGORY(lcImgTrace)

// Logs "Debug Assertion Failed!" with file, line and function and returns 0: the caller
// goes on (a nonzero result would ask it to break into a debugger).
int ImgAssertReport(const char* file, const char* function, int line);

// Checks a condition the code relies on; a failure is reported and execution goes on.
#define IMG_ASSERT(condition)                              \
    do {                                                   \
        if (!(condition)) {                                \
            ImgAssertReport(__FILE__, __func__, __LINE__); \
        }                                                  \
    } while (false)

// True when the trace is switched on; lets a caller skip work that only feeds the trace.
bool ImgTraceEnabled();

// printf-style trace line (at most 511 characters) to lcImgTrace. Nothing is formatted
// while the category is off.
void ImgTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
