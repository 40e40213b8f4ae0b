#include "Images/J2000/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace j2000 {

Diagnostics::Diagnostics()
    : sink_([](const std::string& text) { std::fputs(text.c_str(), stderr); }) {}

void Diagnostics::printf(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        text.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);
    write(text);
}

void Diagnostics::write(const std::string& text) const {
    if (sink_ && !text.empty())
        sink_(text);
}

}  // namespace j2000
