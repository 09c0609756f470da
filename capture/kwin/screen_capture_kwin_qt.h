#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/kwin/kwin_screenshot_qt.h"
#include "capture/output_compose.h"
#include "capture/png_file_writer.h"
#include "capture/screen_capture.h"

namespace ruvello {

// The screen on KDE Plasma: KWin's screenshot interface for every shot, silently, every monitor
// of the moment. When KWin refuses it (no desktop entry grants it to this program), the desktop
// portal's screen cast takes over for the rest of the run, and the user is told once.
class KWinScreenCapture : public ScreenCapture {
  public:
    struct Options {
        // This copy's executable when it keeps its files beside itself: it writes its own
        // desktop entry for the grant. Empty for the installed program, granted by its package.
        std::string grantFor;
        // The route that takes over when KWin refuses.
        std::function<std::unique_ptr<ScreenCapture>()> fallback;
        std::function<void(const std::string&)> tell;
    };

    // Made before the application exists; it talks to KWin only from GdiPlusStart on.
    explicit KWinScreenCapture(Options options);
    ~KWinScreenCapture() override;
    KWinScreenCapture(const KWinScreenCapture&) = delete;
    KWinScreenCapture& operator=(const KWinScreenCapture&) = delete;

    // Writes this copy's desktop entry when it needs one.
    void GdiPlusStart() override;
    void GdiPlusStop() override;
    bool CaptureScreenToPng(const std::string& path) override;
    void BeforeManualShot() override;

  private:
    bool Shoot(const std::string& path);
    bool Write(const KWinScreenShot::Shot& shot, const std::string& path);
    bool FallBack(const std::string& path);

    Options options_;
    QObject context_;  // ends the deferred notice with this object
    // Until then a refusal may be KWin not having read the new entry yet.
    std::chrono::steady_clock::time_point grantSettlesAt_;
    std::unique_ptr<ScreenCapture> fallback_;
    std::vector<std::uint8_t> pixels_;  // KWin's picture, kept between shots
    OutputComposer composer_;
    PngFileWriter writer_;
};

// What the user is told when KWin refuses its screenshots to this program (German).
std::string KWinRefusedNotice(bool ownEntry);

}  // namespace ruvello
