#include "capture/x11/screen_capture_x11.h"

namespace ruvello {

X11ScreenCapture::~X11ScreenCapture() {
    GdiPlusStop();
}

void X11ScreenCapture::GdiPlusStart() {
    if (display_) {
        return;
    }
    InstallX11ErrorRecorder();
    display_ = XOpenDisplay(nullptr);
    if (display_) {
        grabber_ = std::make_unique<X11Grabber>(display_);
    }
}

void X11ScreenCapture::GdiPlusStop() {
    grabber_.reset();
    if (display_) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

bool X11ScreenCapture::CaptureScreenToPng(const std::string& path) {
    if (!grabber_) {
        return false;
    }
    const BgrxRows* image = grabber_->Grab();
    if (!image) {
        return false;
    }
    return writer_.Write({image->data, image->width, image->height, image->stride}, path);
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
