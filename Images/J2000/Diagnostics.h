// Where the decoder's texts go: warnings while decoding goes on, reasons for a failure, and the
// marker-segment dumps of the debug level. The caller may set its own sink; by default the
// texts go to the standard error stream.
#pragma once

#include <functional>
#include <string>

namespace j2000 {

class Diagnostics {
  public:
    using Sink = std::function<void(const std::string&)>;

    Diagnostics();  // standard error
    explicit Diagnostics(Sink sink) : sink_(std::move(sink)) {}

    // printf-style; the text is handed to the sink as one string.
    void printf(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void write(const std::string& text) const;

    int debug = 0;  // above 0: every marker segment read is dumped

  private:
    Sink sink_;
};

}  // namespace j2000
