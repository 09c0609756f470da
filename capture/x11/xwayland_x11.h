#pragma once

namespace ruvello {

// Whether the X display in DISPLAY is XWayland, the X server of a Wayland session: its root
// window holds no picture of the desktop, so a grab there gives black frames. XWayland shows
// itself through RandR outputs named XWAYLAND0, XWAYLAND1 ... False without a display.
bool DisplayIsXWayland();

}  // namespace ruvello
