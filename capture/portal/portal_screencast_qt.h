#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/portal/portal_frames.h"

namespace ruvello {

// How a screen-cast session ended, or why it never started.
enum class PortalEnd {
    kRefused,          // the user said no in the portal's chooser (response 1)
    kFailed,           // the portal ended the request otherwise (response 2) or failed on a call
    kUnavailable,      // no desktop portal answers, or it has no screen cast
    kStopped,          // the desktop ended a running session (the user's "Stop"): Session.Closed
    kNoFrames,         // the session runs, but a monitor's stream sends no frame even when asked:
                       // found by the capture, not the portal
    kMonitorsChanged,  // the monitors changed and the session no longer shows them: found by
                       // the capture
};

// The conversation with org.freedesktop.portal.ScreenCast for one session: CreateSession,
// SelectSources (monitors, several, cursor hidden, kept until revoked, the last restore token),
// Start, OpenPipeWireRemote. Every step waits on the Qt event loop; nothing here blocks.
class PortalScreenCast : public QObject {
    Q_OBJECT

  public:
    struct Started {
        std::vector<AnnouncedStream> streams;
        int pipewireFd = -1;       // the caller's to close
        std::string restoreToken;  // empty when the portal gave none
    };
    struct Events {
        std::function<void(Started)> started;
        std::function<void(PortalEnd)> ended;  // at most once, also after started
    };

    PortalScreenCast(QDBusConnection bus, Events events);
    ~PortalScreenCast() override;  // closes the session

    // Starts the conversation; `restoreToken` (may be empty) spares the user's choice.
    void Open(const std::string& restoreToken);
    // When the step under way began, while it is one that the portal answers by itself: every
    // step but the chooser's (Start). Nothing while the user may be choosing, or after the end.
    std::optional<SteadyTime> WaitingSince() const;

  private slots:
    void OnResponse(uint response, const QVariantMap& results);
    void OnSessionClosed();

  private:
    enum class Step { kIdle, kCreate, kSelect, kStart, kOpenRemote, kRunning, kEnded };

    void ReadProperties();
    void CreateSession();
    void SelectSources();
    void Start();
    void OpenRemote();
    // Calls `method` with a request handle of its own, so that the answer comes as Response.
    void Request(const QString& method, QList<QVariant> arguments, QVariantMap options);
    void WatchRequest(const QString& path);
    void End(PortalEnd why);
    void Enter(Step step);  // and notes when it began

    QDBusConnection bus_;
    Events events_;
    Step step_ = Step::kIdle;
    SteadyTime stepBegan_;
    std::string restoreToken_;
    uint portalVersion_ = 0;
    uint cursorModes_ = 0;
    QString requestPath_;
    QString sessionPath_;
    Started started_;
};

}  // namespace ruvello
