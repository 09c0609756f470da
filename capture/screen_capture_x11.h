#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/png_encoder.h"
#include "capture/screen_capture.h"
#include "capture/x11_grabber_x11.h"
#include "platform/window_system.h"

namespace ruvello {

// The whole X screen to a PNG file, on a display connection of its own.
class X11ScreenCapture : public ScreenCapture {
  public:
    X11ScreenCapture() = default;
    X11ScreenCapture(const X11ScreenCapture&) = delete;
    X11ScreenCapture& operator=(const X11ScreenCapture&) = delete;
    ~X11ScreenCapture() override;

    void GdiPlusStart() override;
    void GdiPlusStop() override;
    bool CaptureScreenToPng(const std::string& path) override;

    // The root window's rectangle in pixels (all monitors), or an empty one without a display.
    ScreenRect RootRect();

  private:
    Display* display_ = nullptr;
    std::unique_ptr<X11Grabber> grabber_;
    PngEncoder encoder_;
    std::vector<std::uint8_t> png_;  // kept between shots to spare the allocation
};

}  // namespace ruvello
