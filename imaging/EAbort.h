#pragma once
// The program's exception for an operation that was stopped: by the user, by a failed
// allocation or by bad input that the caller reports in its own words. It usually
// carries no message, because nobody shows it; callers catch it and carry on.

#include <stdexcept>
#include <string>

class EAbort : public std::runtime_error {
  public:
    EAbort() : std::runtime_error(std::string()) {}
    explicit EAbort(const std::string& message) : std::runtime_error(message) {}
};
