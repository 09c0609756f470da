#pragma once

#include <X11/Xlib.h>

#include <memory>

#include "capture/png_file_writer.h"
#include "capture/screen_capture.h"
#include "capture/x11/x11_grabber_x11.h"
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
    PngFileWriter writer_;
};

}  // namespace ruvello
