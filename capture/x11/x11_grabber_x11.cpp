#include "capture/x11/x11_grabber_x11.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace ruvello {
namespace {

int lastX11Error = 0;  // Xlib's error callback has no user data: one slot for the one UI thread

int RecordError(Display*, XErrorEvent* event) {
    lastX11Error = event->error_code;
    return 0;
}

PixelLayout LayoutOf(const XImage& image) {
    PixelLayout layout;
    layout.bitsPerPixel = image.bits_per_pixel;
    layout.msbFirst = image.byte_order == MSBFirst;
    layout.redMask = static_cast<std::uint32_t>(image.red_mask);
    layout.greenMask = static_cast<std::uint32_t>(image.green_mask);
    layout.blueMask = static_cast<std::uint32_t>(image.blue_mask);
    return layout;
}

}  // namespace

void X11Grabber::ImageDestroyer::operator()(XImage* image) const {
    XDestroyImage(image);
}

void InstallX11ErrorRecorder() {
    XSetErrorHandler(RecordError);
}

int TakeX11Error() {
    const int error = lastX11Error;
    lastX11Error = 0;
    return error;
}

X11Grabber::X11Grabber(Display* display, bool useSharedMemory)
    : display_(display),
      root_(DefaultRootWindow(display)),
      shmAvailable_(useSharedMemory && XShmQueryExtension(display)) {}

X11Grabber::~X11Grabber() {
    DropSharedImage();
}

void X11Grabber::DropSharedImage() {
    if (!sharedImage_) {
        return;
    }
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    XDestroyImage(sharedImage_);  // frees the XImage record only; the data is the segment's
    shmdt(segment_.shmaddr);
    sharedImage_ = nullptr;
    segment_ = {};
}

bool X11Grabber::EnsureSharedImage(unsigned width, unsigned height) {
    if (sharedImage_ && static_cast<unsigned>(sharedImage_->width) == width &&
        static_cast<unsigned>(sharedImage_->height) == height) {
        return true;
    }
    DropSharedImage();
    const int screen = DefaultScreen(display_);
    XImage* image = XShmCreateImage(display_, DefaultVisual(display_, screen),
                                    static_cast<unsigned>(DefaultDepth(display_, screen)), ZPixmap,
                                    nullptr, &segment_, width, height);
    if (!image) {
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(image->bytes_per_line) * height;
    segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment_.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    segment_.shmaddr = image->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    segment_.readOnly = False;
    TakeX11Error();
    const bool attached =
        segment_.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(display_, &segment_);
    XSync(display_, False);
    // Marked for removal at once: the segment goes away with the last detach, even after a crash.
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (!attached || TakeX11Error() != 0) {
        if (segment_.shmaddr != reinterpret_cast<char*>(-1)) {
            shmdt(segment_.shmaddr);
        }
        image->data = nullptr;
        XDestroyImage(image);
        segment_ = {};
        shmAvailable_ = false;  // e.g. a display on another machine: plain transfer from now on
        return false;
    }
    sharedImage_ = image;
    return true;
}

const BgrxRows* X11Grabber::Present(XImage* image) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(image->data);
    const PixelLayout layout = LayoutOf(*image);
    if (layout.redMask == 0 || layout.greenMask == 0 || layout.blueMask == 0 ||
        (layout.bitsPerPixel != 16 && layout.bitsPerPixel != 24 && layout.bitsPerPixel != 32)) {
        return nullptr;  // a palette visual: no colours to read from the pixel values
    }
    if (layout.IsBgrx()) {
        rows_ = {data, image->width, image->height,
                 static_cast<std::size_t>(image->bytes_per_line)};
    } else {
        rows_ = ConvertToBgrx(data, image->width, image->height,
                              static_cast<std::size_t>(image->bytes_per_line), layout, converted_);
    }
    return &rows_;
}

const BgrxRows* X11Grabber::Grab() {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    TakeX11Error();
    if (!XGetGeometry(display_, root_, &root, &x, &y, &width, &height, &border, &depth) ||
        width == 0 || height == 0) {
        return nullptr;
    }
    if (shmAvailable_ && EnsureSharedImage(width, height)) {
        const bool ok = XShmGetImage(display_, root_, sharedImage_, 0, 0, AllPlanes);
        XSync(display_, False);
        if (ok && TakeX11Error() == 0) {
            return Present(sharedImage_);
        }
        DropSharedImage();
    }
    plainImage_.reset(XGetImage(display_, root_, 0, 0, width, height, AllPlanes, ZPixmap));
    XSync(display_, False);
    if (!plainImage_ || TakeX11Error() != 0) {
        plainImage_.reset();
        return nullptr;
    }
    return Present(plainImage_.get());
}

}  // namespace ruvello
