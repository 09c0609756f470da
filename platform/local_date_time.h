#pragma once

#include <compare>

namespace ruvello {

// A local calendar time to the second; the order of the fields makes the comparison chronological.
struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;

    auto operator<=>(const LocalDateTime&) const = default;
};

}  // namespace ruvello
