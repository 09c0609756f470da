#include "capture/capture_route.h"

#include <QDBusConnection>

#include "capture/kwin/screen_capture_kwin_qt.h"
#include "capture/portal/screen_capture_portal_qt.h"
#include "capture/wayland/output_copy_wayland.h"
#include "capture/wayland/screen_capture_wayland.h"
#include "capture/x11/screen_capture_x11.h"
#include "capture/x11/xwayland_x11.h"
#include "platform/file_system_posix.h"
#include "platform/user_folders_xdg.h"
#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

namespace ruvello {
namespace {

// A capture that never writes a file: where every route would give black frames, a gap in the
// history is better than black pictures that push the real ones out of the folder.
class NoScreenCapture : public ScreenCapture {
  public:
    void GdiPlusStart() override {}
    void GdiPlusStop() override {}
    bool CaptureScreenToPng(const std::string&) override { return false; }
};

// The outputs' places as the compositor has them now: one round for the globals that came or
// went, one for what the new ones say of themselves. A compositor that does not answer within
// the wait leaves them as they were.
std::vector<LayoutRect> MonitorsNow(WaylandConnection& wayland, WaylandOutputLayout& outputs) {
    constexpr int kAnswerWaitMs = 1000;
    wayland.Roundtrip(kAnswerWaitMs);
    wayland.Roundtrip(kAnswerWaitMs);
    std::vector<LayoutRect> places;
    for (const auto& output : outputs.Outputs()) {
        const LayoutRect place = output->Place();
        if (place.width > 0 && place.height > 0) {
            places.push_back(place);
        }
    }
    return places;
}

// The portal learns the monitors of the moment from the program's own Wayland connection.
PortalCaptureOptions PortalOptionsFor(const CaptureChoice& choice) {
    PortalCaptureOptions options;
    if (choice.wayland && choice.outputs) {
        options.monitors = [wayland = choice.wayland.get(), outputs = choice.outputs.get()] {
            return MonitorsNow(*wayland, *outputs);
        };
    }
    return options;
}

// CaptureWorkspace, every screen in one picture, came with version 2.
constexpr std::uint32_t kKWinWorkspaceVersion = 2;

// Asked before the application exists, on a connection of its own: the program's own session
// bus connection is made later, for the event loop.
std::uint32_t KWinScreenShotVersion() {
    const QString name = QStringLiteral("ruvello-route");
    std::uint32_t version = 0;
    {
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        if (bus.isConnected()) {
            // Elsewhere the bus answers at once that nobody has the name; a busy KWin at login
            // may take a while.
            version = KWinScreenShot::Version(bus, std::chrono::seconds(10));
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return version;
}

// The copy of the program that keeps its files beside itself needs its own grant entry; the
// installed one has the package's.
std::string OwnGrantEntryFor() {
    const std::string exe = OwnExecutablePath();
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos || !XdgUserFolders().CanWriteIn(exe.substr(0, slash + 1))) {
        return {};
    }
    return exe;
}

}  // namespace

CaptureRoute ChooseCaptureRoute(const SessionFacts& facts) {
    if (facts.waylandConnected) {
        if (facts.screenCopy) {
            return CaptureRoute::kWaylandDirect;
        }
        return facts.kwinScreenShot >= kKWinWorkspaceVersion ? CaptureRoute::kKWin
                                                             : CaptureRoute::kPortal;
    }
    if (facts.xwayland) {
        return CaptureRoute::kNone;
    }
    return CaptureRoute::kX11;
}

std::string RouteNotice(CaptureRoute route, const SessionFacts& facts) {
    switch (route) {
        case CaptureRoute::kPortal:
            if (facts.kwinScreenShot == 0) {
                return {};  // GNOME: the portal is the only way, and it speaks for itself
            }
            return "Diese KWin-Version bietet keine stille Aufnahme aller Bildschirme. Ruvello "
                   "nimmt den Bildschirm deshalb \u00fcber das Desktop-Portal auf: Plasma fragt "
                   "beim ersten Mal, welche Bildschirme geteilt werden, und zeigt "
                   "w\u00e4hrenddessen an, dass der Bildschirm geteilt wird.";
        case CaptureRoute::kNone:
            return "Ruvello l\u00e4uft unter XWayland ohne Verbindung zur Wayland-Sitzung. Dort "
                   "w\u00e4ren alle Screenshots schwarz, deshalb werden keine gespeichert.\n\n"
                   "Starten Sie Ruvello in der Wayland-Sitzung (mit gesetzter Variable "
                   "WAYLAND_DISPLAY), dann nimmt es den Bildschirm auf.";
        default:
            return {};
    }
}

CaptureChoice::CaptureChoice() = default;
CaptureChoice::~CaptureChoice() {
    capture.reset();  // before the connection it uses
    outputs.reset();
    wayland.reset();
}
CaptureChoice::CaptureChoice(CaptureChoice&&) noexcept = default;
CaptureChoice& CaptureChoice::operator=(CaptureChoice&&) noexcept = default;

CaptureChoice ChooseScreenCapture(std::function<void(const std::string&)> tell) {
    CaptureChoice choice;
    choice.facts.waylandNamed = WaylandDisplayNamed();
    if (choice.facts.waylandNamed) {
        choice.wayland = std::make_unique<WaylandConnection>();
        choice.facts.waylandConnected = choice.wayland->Connected();
        if (choice.facts.waylandConnected) {
            choice.facts.screenCopy = OffersScreenCopy(*choice.wayland);
            if (!choice.facts.screenCopy) {
                choice.facts.kwinScreenShot = KWinScreenShotVersion();
            }
            choice.outputs = std::make_unique<WaylandOutputLayout>(*choice.wayland);
        } else {
            choice.wayland.reset();
        }
    }
    if (!choice.facts.waylandConnected) {
        choice.facts.xwayland = DisplayIsXWayland();
    }
    choice.route = ChooseCaptureRoute(choice.facts);

    switch (choice.route) {
        case CaptureRoute::kX11: {
            auto x11 = std::make_unique<X11ScreenCapture>();
            X11ScreenCapture* screen = x11.get();
            choice.virtualScreen = [screen] { return screen->RootRect(); };
            choice.capture = std::move(x11);
            break;
        }
        case CaptureRoute::kWaylandDirect:
            choice.capture =
                std::make_unique<WaylandScreenCapture>(*choice.wayland, *choice.outputs);
            break;
        case CaptureRoute::kKWin: {
            KWinScreenCapture::Options options;
            options.grantFor = OwnGrantEntryFor();
            options.fallback = [tell, portal = PortalOptionsFor(choice)] {
                return std::make_unique<PortalScreenCapture>(tell, portal);
            };
            options.tell = std::move(tell);
            choice.capture = std::make_unique<KWinScreenCapture>(std::move(options));
            break;
        }
        case CaptureRoute::kPortal:
            choice.capture =
                std::make_unique<PortalScreenCapture>(std::move(tell), PortalOptionsFor(choice));
            break;
        case CaptureRoute::kNone:
            choice.capture = std::make_unique<NoScreenCapture>();
            break;
    }
    if (!choice.virtualScreen) {
        WaylandOutputLayout* outputs = choice.outputs.get();
        choice.virtualScreen = [outputs]() -> ScreenRect {
            if (!outputs) {
                return {};
            }
            const LayoutRect bounds = outputs->Bounds();
            return {bounds.x, bounds.y, bounds.width, bounds.height};
        };
    }
    return choice;
}

}  // namespace ruvello
