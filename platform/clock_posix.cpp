#include "platform/clock_posix.h"

#include <time.h>

namespace ruvello {

// Milliseconds since boot, suspended time included, cut to 32 bits so that the counter wraps
// after 49.7 days exactly as the scheduler expects.
std::uint32_t PosixClock::TickCount() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                    static_cast<unsigned long long>(now.tv_nsec) / 1'000'000ull;
    return static_cast<std::uint32_t>(ms);
}

LocalDateTime PosixClock::LocalNow() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

// Monotonic, so the flash never waits on a clock that is set back.
double PosixClock::Seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace ruvello
