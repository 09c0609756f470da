#pragma once

#include <cstdint>

namespace ruvello {

// Tick values are the 32-bit millisecond counter; `a` is at or after `b` when their difference,
// read as a signed 32-bit number, is not negative. So the schedule runs on across 2^31 and 2^32.
constexpr bool IsAtOrAfter(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) >= 0;
}

// The first point of the grid due + k * interval (k >= 1) that lies strictly after `now`.
// `intervalMs` must be a positive signed 32-bit number.
constexpr std::uint32_t NextDueAfter(std::uint32_t due, std::uint32_t now,
                                     std::uint32_t intervalMs) {
    due += intervalMs;
    const auto behind = static_cast<std::int32_t>(now - due);
    if (behind >= 0) {
        due += (static_cast<std::uint32_t>(behind) / intervalMs + 1) * intervalMs;
    }
    return due;
}

}  // namespace ruvello
