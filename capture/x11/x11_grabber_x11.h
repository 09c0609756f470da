#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/x11/pixel_layout.h"

namespace ruvello {

// Grabs the root window, which spans every monitor, at its pixel size. Uses one shared-memory
// segment kept while the screen keeps its size, or plain image transfer where the server offers
// no shared memory (a remote display).
class X11Grabber {
  public:
    // Without `useSharedMemory` every grab is a plain image transfer, as on a remote display.
    explicit X11Grabber(Display* display, bool useSharedMemory = true);
    X11Grabber(const X11Grabber&) = delete;
    X11Grabber& operator=(const X11Grabber&) = delete;
    ~X11Grabber();

    // The grabbed image, valid until the next call; nothing when the grab failed.
    const BgrxRows* Grab();

    bool UsesSharedMemory() const { return sharedImage_ != nullptr; }

  private:
    bool EnsureSharedImage(unsigned width, unsigned height);
    void DropSharedImage();
    const BgrxRows* Present(XImage* image);

    struct ImageDestroyer {
        void operator()(XImage* image) const;
    };

    Display* display_;
    Window root_;
    bool shmAvailable_;
    XImage* sharedImage_ = nullptr;
    XShmSegmentInfo segment_{};
    std::unique_ptr<XImage, ImageDestroyer> plainImage_;  // the last plain transfer
    std::vector<std::uint8_t> converted_;
    BgrxRows rows_;
};

// Xlib ends the process on a protocol error unless a handler says otherwise; this one records it.
// Install once per process before the first request.
void InstallX11ErrorRecorder();
// The error code recorded since the last call (0 for none), and forgets it.
int TakeX11Error();

}  // namespace ruvello
