#include "platform/shot_timer_win32.h"

#include "platform/last_error_win32.h"

namespace ruvello {

ShotTimerWin32::~ShotTimerWin32() {
    if (enabled_ && IsWindow(window_)) {
        KillTimer(window_, id_);
    }
}

// As with a timer control, a new interval starts the count anew.
void ShotTimerWin32::SetInterval(std::int32_t milliseconds) {
    interval_ = milliseconds > 0 ? static_cast<UINT>(milliseconds) : 0;
    if (enabled_) {
        Start();
    }
}

void ShotTimerWin32::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled_) {
        Start();
    } else {
        KillTimer(window_, id_);
    }
}

// An interval of 0 keeps the timer from firing, as with the control.
void ShotTimerWin32::Start() {
    if (interval_ == 0) {
        KillTimer(window_, id_);
        return;
    }
    if (!SetTimer(window_, id_, interval_, nullptr)) {
        ThrowLastError("timer", "");
    }
}

}  // namespace ruvello
