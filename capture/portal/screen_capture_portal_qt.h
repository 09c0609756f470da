#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/output_compose.h"
#include "capture/png_file_writer.h"
#include "capture/portal/portal_screencast_qt.h"
#include "capture/portal/restore_token_store_posix.h"
#include "capture/portal/screencast_streams_pipewire.h"
#include "capture/screen_capture.h"

namespace ruvello {

// What the screen streams do between shots.
enum class IdleStreams {
    // They stop, and each shot resumes them for a new frame: nothing is drawn, copied or sent
    // between shots, however busy the screen (bench/portal_idle.py).
    kPaused,
    // They run at a low frame rate, each keeping only its newest frame: no wake-up while the
    // screen stays the same, but the compositor copies frames while it changes.
    kNewestKept,
};

struct PortalCaptureOptions {
    IdleStreams idle = IdleStreams::kPaused;
    std::uint32_t maxFramesPerSecond = 2;
    std::string tokenPath = RestoreTokenStore::DefaultPath();
    // The desktop's monitors now, as its compositor reports them (logical places, as the portal
    // gives the streams'). Without it the program never learns that the monitors changed.
    std::function<std::vector<LayoutRect>()> monitors;
};

// The screen of a Wayland desktop without a screen-copy protocol (GNOME, KDE): a screen-cast
// session of the desktop portal for the whole run, one PipeWire stream per monitor, composed
// like the other routes. The first start shows the desktop's chooser; its restore token lets
// later starts go without asking. When the user refuses or later stops the sharing, captures
// fail without asking again, the user is told once, and only a manual screenshot asks anew.
// A monitor that goes ends its stream; the others go on. When the session no longer shows the
// monitors (one came that no stream shows, or none is left), the user is told once, and a
// manual screenshot asks for a session of the monitors of that moment.
class PortalScreenCapture : public ScreenCapture {
  public:
    // `tell` shows the user a message; it is called from the event loop, never during a capture.
    explicit PortalScreenCapture(std::function<void(const std::string&)> tell,
                                 PortalCaptureOptions options = {});
    ~PortalScreenCapture() override;
    PortalScreenCapture(const PortalScreenCapture&) = delete;
    PortalScreenCapture& operator=(const PortalScreenCapture&) = delete;

    // Opens the session; the portal answers later, on the event loop.
    void GdiPlusStart() override;
    void GdiPlusStop() override;
    // Runs the event loop while it waits for the portal's answer or for current frames, so a
    // tick or click meanwhile finds a capture under way and gets false.
    bool CaptureScreenToPng(const std::string& path) override;
    void BeforeManualShot() override;

  private:
    enum class State { kClosed, kAsking, kRunning, kDeclined };

    void Ask(bool renewing = false);
    void OnStarted(PortalScreenCast::Started started);
    void OnEnded(PortalEnd why);
    void OnStreamsChanged();
    bool JudgeNewSession(const std::vector<LayoutRect>& monitors);
    void CheckMonitors();
    std::vector<std::optional<LayoutRect>> LivePlaces() const;
    std::vector<std::size_t> LiveStreams() const;
    std::vector<LayoutRect> MonitorsNow() const;
    PortalEnd WhyEnded(PortalEnd reported) const;
    void Decline(PortalEnd why);
    void EndSession();
    bool Shoot(const std::string& path, bool manual);
    bool AwaitSession(bool manual);
    enum class Frames { kReady, kMissing, kGone };
    Frames AwaitFrames();
    std::vector<OutputPicture> Pictures() const;
    void WaitForChange(SteadyTime deadline);
    void Tell(const std::string& text);
    void DeliverMessage();

    std::function<void(const std::string&)> tell_;
    PortalCaptureOptions options_;
    RestoreTokenStore tokens_;
    QObject context_;  // ends the deferred calls with this object
    State state_ = State::kClosed;
    SteadyTime askedAt_;
    // What the session asked with: the stored token (and how many monitors the desktop had when
    // its choice was made; 0: not known), and whether it replaces one that no longer showed the
    // monitors.
    bool askedWithToken_ = false;
    std::size_t monitorsAtChoice_ = 0;
    bool renewing_ = false;
    // The monitors when the program last looked, which streams showed one of them when the
    // session started, and how many the user chose to leave out.
    std::vector<LayoutRect> monitorsSeen_;
    std::vector<bool> showedAMonitor_;
    std::size_t unshownAtStart_ = 0;
    bool monitorsChanged_ = false;  // told; the next manual screenshot asks anew
    bool manualNext_ = false;
    bool capturing_ = false;
    bool stopAfterCapture_ = false;
    int shotsWithoutFrames_ = 0;
    std::function<void()> wake_;
    std::unique_ptr<PortalScreenCast> portal_;
    std::vector<AnnouncedStream> announced_;
    std::unique_ptr<PipeWireStreams> streams_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string pendingMessage_;
    OutputComposer composer_;
    PngFileWriter writer_;
};

}  // namespace ruvello
