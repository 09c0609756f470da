#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/screen_capture.h"
#include "platform/window_system.h"

namespace ruvello {

class WaylandConnection;
class WaylandOutputLayout;

// How the screen is captured on this desktop, chosen once at start-up.
enum class CaptureRoute {
    kX11,            // the X server's root window: X11 sessions
    kWaylandDirect,  // the compositor copies its outputs (ext-image-copy-capture, wlr-screencopy)
    kKWin,           // KWin's own screenshot interface on the session bus (KDE Plasma)
    kPortal,         // the desktop portal's screen cast over PipeWire (GNOME, older KWin)
    kNone,           // XWayland without its Wayland session: no capture rather than black frames
};

// What start-up learns about the session.
struct SessionFacts {
    bool waylandNamed = false;      // WAYLAND_DISPLAY or WAYLAND_SOCKET is set
    bool waylandConnected = false;  // and a compositor answered there
    bool screenCopy = false;        // which offers a screen-copy protocol this program speaks
    bool xwayland = false;          // the X display is XWayland
    // The version of KWin's screenshot interface on the session bus; 0 where there is none.
    std::uint32_t kwinScreenShot = 0;
};

// A Wayland session never gets the X11 grab, whatever Qt runs on: XWayland's root window is black.
// A compositor without screen copies is asked through KWin's interface where KWin offers one
// that gives every screen in one picture, else through the desktop portal.
CaptureRoute ChooseCaptureRoute(const SessionFacts& facts);

// What the user is told once about the chosen route (German), or nothing.
std::string RouteNotice(CaptureRoute route, const SessionFacts& facts);

// The route chosen for this run and what it holds for the whole run.
struct CaptureChoice {
    SessionFacts facts;
    CaptureRoute route = CaptureRoute::kX11;
    // The program's own Wayland connection and the outputs, in a Wayland session; the flash
    // and the tray menu use them too.
    std::unique_ptr<WaylandConnection> wayland;
    std::unique_ptr<WaylandOutputLayout> outputs;
    std::unique_ptr<ScreenCapture> capture;
    // The bounding rectangle of all monitors in pixels, for the flash.
    std::function<ScreenRect()> virtualScreen;

    CaptureChoice();
    ~CaptureChoice();
    CaptureChoice(CaptureChoice&&) noexcept;
    CaptureChoice& operator=(CaptureChoice&&) noexcept;
};

// Looks at the session (environment, Wayland compositor, X server) and makes its capture. Runs
// before the user interface starts; `tell` shows the user a message once it runs (the portal
// route says so when the user refused or ended the screen sharing).
CaptureChoice ChooseScreenCapture(std::function<void(const std::string&)> tell = {});

}  // namespace ruvello
