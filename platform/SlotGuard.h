#pragma once
// Exceptions must never cross into Qt's event dispatch: Qt is not exception-safe, and an
// exception leaving a slot ends the program. Every slot that can throw runs its body
// through GuardSlot, which catches everything and shows the message in an error box
// (caption "Error") through the message service.

#include <exception>
#include <utility>

namespace platform {

// Shows the exception's message (std::exception::what(), or "Unknown error." for
// anything else). Never throws, even when showing the message fails.
void ReportSlotException(std::exception_ptr error) noexcept;

// Runs body(); true when it returned normally, false when it threw (and was reported).
template <class Body>
bool GuardSlot(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (...) {
        ReportSlotException(std::current_exception());
        return false;
    }
}

}  // namespace platform
