#pragma once

#include <QDBusConnection>
#include <chrono>
#include <cstdint>
#include <vector>

#include "capture/kwin/kwin_image_qt.h"

namespace ruvello {

// KWin's own screenshot interface, org.kde.KWin.ScreenShot2, on the session bus: what its
// screenshot tool uses. KWin grants it to a program whose installed desktop entry lists it in
// X-KDE-DBUS-Restricted-Interfaces, matched by the caller's executable path; no dialog, no
// indicator.
struct KWinScreenShot {
    using Deadline = std::chrono::steady_clock::time_point;

    // The interface's version; 0 when nobody offers it within `wait` (not KWin, or KWin without
    // its screenshot plugin). Works on a connection of its own before the application exists.
    static std::uint32_t Version(QDBusConnection bus, std::chrono::milliseconds wait);

    enum class Outcome {
        kTaken,    // `pixels` holds the picture `header` describes
        kRefused,  // KWin does not grant the interface to this program
        kFailed,   // no picture this time (KWin busy or gone, a broken pipe, an odd answer)
    };
    struct Shot {
        Outcome outcome = Outcome::kFailed;
        KWinImageHeader header;
        KWinImageLayout layout;
    };

    // Every screen in one picture at the pixel size of the largest scale, without the pointer:
    // CaptureWorkspace, its answer, then the rows from the pipe. `pixels` is reused between
    // shots. Blocks until `deadline` at the most.
    static Shot CaptureWorkspace(QDBusConnection bus, std::vector<std::uint8_t>& pixels,
                                 Deadline deadline);
};

}  // namespace ruvello
