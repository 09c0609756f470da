#pragma once

#include <windows.h>

#include <cstdint>

#include "capture/screen_capture.h"
#include "capture/win32/session_watch_win32.h"

namespace ruvello {

// The virtual screen through GDI, written as PNG by GDI+; nothing while the session's desktop
// cannot be seen.
class ScreenCaptureWin32 : public ScreenCapture {
  public:
    ScreenCaptureWin32() = default;
    ScreenCaptureWin32(const ScreenCaptureWin32&) = delete;
    ScreenCaptureWin32& operator=(const ScreenCaptureWin32&) = delete;
    ~ScreenCaptureWin32() override;

    void GdiPlusStart() override;
    void GdiPlusStop() override;
    bool CaptureScreenToPng(const std::string& path) override;
    // A WM_WTSSESSION_CHANGE with its code.
    void SessionChanged(WPARAM code) { session_.Changed(code); }

  private:
    SessionWatch session_;
    std::uintptr_t token_ = 0;
};

}  // namespace ruvello
