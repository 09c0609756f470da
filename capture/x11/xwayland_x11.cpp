#include "capture/x11/xwayland_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstring>

namespace ruvello {

bool DisplayIsXWayland() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return false;
    }
    bool xwayland = false;
    int event = 0, error = 0;
    if (XRRQueryExtension(display, &event, &error)) {
        if (XRRScreenResources* resources =
                XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display))) {
            for (int i = 0; i < resources->noutput && !xwayland; ++i) {
                if (XRROutputInfo* info =
                        XRRGetOutputInfo(display, resources, resources->outputs[i])) {
                    xwayland = std::strncmp(info->name, "XWAYLAND", 8) == 0;
                    XRRFreeOutputInfo(info);
                }
            }
            XRRFreeScreenResources(resources);
        }
    }
    XCloseDisplay(display);
    return xwayland;
}

}  // namespace ruvello
