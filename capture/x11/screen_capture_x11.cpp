#include "capture/x11/screen_capture_x11.h"

#include "platform/failure.h"

namespace ruvello {

X11ScreenCapture::~X11ScreenCapture() {
    GdiPlusStop();
}

// The display counts as open only once its grabber is had: a start that runs out of memory
// leaves the capture as it was, not started, so that it can start later.
void X11ScreenCapture::GdiPlusStart() {
    if (display_) {
        return;
    }
    InstallX11ErrorRecorder();
    std::unique_ptr<Display, decltype(&XCloseDisplay)> display(XOpenDisplay(nullptr),
                                                               XCloseDisplay);
    if (display) {
        grabber_ = std::make_unique<X11Grabber>(display.get());
        display_ = display.release();
    }
}

void X11ScreenCapture::GdiPlusStop() {
    grabber_.reset();
    if (display_) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

// A screen of another pixel layout than BGRX is converted in memory, which may run out: a
// failed shot then, like any other.
bool X11ScreenCapture::CaptureScreenToPng(const std::string& path) {
    if (!grabber_) {
        return false;
    }
    return FalseOnFailure([&] {
        const BgrxRows* image = grabber_->Grab();
        return image &&
               writer_.Write({image->data, image->width, image->height, image->stride}, path);
    });
}

ScreenRect X11ScreenCapture::RootRect() {
    if (!display_) {
        return {};
    }
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display_, DefaultRootWindow(display_), &root, &x, &y, &width, &height,
                      &border, &depth)) {
        return {};
    }
    return {0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

}  // namespace ruvello
