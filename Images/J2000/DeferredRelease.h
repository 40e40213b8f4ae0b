#pragma once
// Objects whose destruction is slow (a large picture's sample planes and the threads that
// worked on them, its tiles' structures) handed to a thread that destroys them, so that a
// decode, stopped or done, returns without waiting for hundreds of megabytes to go back to the
// system: tens of milliseconds that a stop cannot spare.
//
// Threads: one for the process, started at the first hand-over; it empties its queue and is
// joined when the program ends. An object that cannot be handed over (no thread, no memory) is
// destroyed at once on the calling thread.

#include <memory>
#include <utility>

namespace j2000 {

void release_later(std::shared_ptr<void> object) noexcept;

// The same for an object held alone; without memory for the hand-over it stays with `object`.
template <class T>
void release_later(std::unique_ptr<T>&& object) noexcept {
    try {
        release_later(std::shared_ptr<T>(std::move(object)));
    } catch (...) {
    }
}

}  // namespace j2000
