#include "platform/clock_win32.h"

#include <windows.h>

namespace ruvello {

ClockWin32::ClockWin32() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);  // never fails from Windows XP on
    ticksPerSecond_ = frequency.QuadPart > 0 ? static_cast<double>(frequency.QuadPart) : 1.0;
}

std::uint32_t ClockWin32::TickCount() {
    // The 32-bit counter on purpose: the schedule is built for its wrap-around.
    return GetTickCount();
}

LocalDateTime ClockWin32::LocalNow() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

double ClockWin32::Seconds() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerSecond_;
}

}  // namespace ruvello
