#include "Images/J2000/DecodeBudget.h"

#include <algorithm>
#include <cstdio>

namespace j2000 {

namespace {

constexpr std::uint64_t kPollUnits = std::uint64_t{1} << 16;

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

}  // namespace

DecodeBudget::DecodeBudget(const DecodeLimits& limits) : limits_(limits) {}

void DecodeBudget::setbytes(std::uint64_t bytes) {
    bytes_ = std::max(bytes_, bytes);
}

std::uint64_t DecodeBudget::workallowance() const {
    return saturating_add(limits_.workfloor, saturating_mul(limits_.workperbyte, bytes_));
}

std::uint64_t DecodeBudget::heldallowance() const {
    const std::uint64_t bybytes = saturating_mul(limits_.heldperbyte, bytes_);
    const std::uint64_t bysamples = saturating_mul(4, limits_.maxsamples);
    return saturating_add(limits_.heldfloor, std::min(bybytes, bysamples));
}

void DecodeBudget::refuse(const char* kind, const char* what, std::uint64_t allowance) {
    if (exceeded())
        return;
    char text[256];
    std::snprintf(
        text, sizeof text,
        "%s would take more %s than the %llu %s allowed for the %llu bytes of codestream read",
        what, kind, static_cast<unsigned long long>(allowance), kind[0] == 'w' ? "units" : "bytes",
        static_cast<unsigned long long>(bytes_));
    reason_ = text;
}

bool DecodeBudget::spend(std::uint64_t units, const char* what) {
    if (exceeded() || stopped_)
        return false;
    work_ = saturating_add(work_, units);
    if (work_ - polled_ >= kPollUnits) {
        polled_ = work_;
        if (stop_ && stop_()) {
            stopped_ = true;
            return false;
        }
    }
    if (work_ <= workallowance())
        return true;
    refuse("work", what, workallowance());
    return false;
}

bool DecodeBudget::hold(std::uint64_t bytes, const char* what) {
    if (exceeded())
        return false;
    const std::uint64_t total = saturating_add(held_, bytes);
    if (total > heldallowance()) {
        refuse("memory", what, heldallowance());
        return false;
    }
    held_ = total;
    return true;
}

void DecodeBudget::release(std::uint64_t bytes) {
    held_ -= std::min(held_, bytes);
}

}  // namespace j2000
