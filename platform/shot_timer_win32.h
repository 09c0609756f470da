#pragma once

#include <windows.h>

#include "platform/window_system.h"

namespace ruvello {

// tmrShot as a window timer: its WM_TIMER reaches the window with `id` as wParam.
class ShotTimerWin32 : public ShotTimer {
  public:
    ShotTimerWin32(HWND window, UINT_PTR id) : window_(window), id_(id) {}
    ShotTimerWin32(const ShotTimerWin32&) = delete;
    ShotTimerWin32& operator=(const ShotTimerWin32&) = delete;
    ~ShotTimerWin32() override;

    void SetInterval(std::int32_t milliseconds) override;
    void SetEnabled(bool enabled) override;

  private:
    void Start();

    HWND window_;
    UINT_PTR id_;
    UINT interval_ = 0;
    bool enabled_ = false;
};

}  // namespace ruvello
