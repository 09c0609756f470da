#pragma once

#include <cstdint>

#include "capture/screen_capture.h"

namespace ruvello {

// The virtual screen through GDI, written as PNG by GDI+.
class ScreenCaptureWin32 : public ScreenCapture {
  public:
    ScreenCaptureWin32() = default;
    ScreenCaptureWin32(const ScreenCaptureWin32&) = delete;
    ScreenCaptureWin32& operator=(const ScreenCaptureWin32&) = delete;
    ~ScreenCaptureWin32() override;

    void GdiPlusStart() override;
    void GdiPlusStop() override;
    bool CaptureScreenToPng(const std::string& path) override;

  private:
    std::uintptr_t token_ = 0;
};

}  // namespace ruvello
