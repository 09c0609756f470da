#include "capture/kwin/kwin_screenshot_qt.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/fd_posix.h"

namespace ruvello {
namespace {

using std::chrono::milliseconds;

const QString kService = QStringLiteral("org.kde.KWin");
const QString kPath = QStringLiteral("/org/kde/KWin/ScreenShot2");
const QString kInterface = QStringLiteral("org.kde.KWin.ScreenShot2");
const QString kNotAuthorized = QStringLiteral("org.kde.KWin.ScreenShot2.Error.NoAuthorized");

int MillisecondsUntil(KWinScreenShot::Deadline deadline) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<milliseconds::rep>(left.count(), 0, 600'000));
}

KWinImageHeader HeaderOf(const QVariantMap& results) {
    KWinImageHeader header;
    header.type = results.value(QStringLiteral("type")).toString().toStdString();
    header.format = results.value(QStringLiteral("format")).toUInt();
    header.width = results.value(QStringLiteral("width")).toUInt();
    header.height = results.value(QStringLiteral("height")).toUInt();
    header.stride = results.value(QStringLiteral("stride")).toUInt();
    return header;
}

// Reads exactly `bytes` from the pipe unless it ends or the deadline passes first.
bool ReadAll(int fd, std::uint8_t* into, std::size_t bytes, KWinScreenShot::Deadline deadline) {
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = read(fd, into + done, bytes - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return false;  // KWin closed the pipe early
        }
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, MillisecondsUntil(deadline)) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::uint32_t KWinScreenShot::Version(QDBusConnection bus, milliseconds wait) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("Version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, static_cast<int>(wait.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return 0;
    }
    return reply.arguments().first().value<QDBusVariant>().variant().toUInt();
}

KWinScreenShot::Shot KWinScreenShot::CaptureWorkspace(QDBusConnection bus,
                                                      std::vector<std::uint8_t>& pixels,
                                                      Deadline deadline) {
    Shot shot;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return shot;
    }
    const Fd readEnd(ends[0]);
    // Only this end waits with a deadline; KWin's end stays as KWin sets it up (an older KWin
    // writes with a plain blocking write).
    if (fcntl(readEnd.fd, F_SETFL, O_NONBLOCK) != 0) {
        close(ends[1]);
        return shot;
    }
    QDBusPendingCall call = [&] {
        const Fd writeEnd(ends[1]);  // KWin writes through its own copy
        QDBusMessage message =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, "CaptureWorkspace");
        const QVariantMap options{{QStringLiteral("native-resolution"), true},
                                  {QStringLiteral("include-cursor"), false}};
        message << options << QVariant::fromValue(QDBusUnixFileDescriptor(writeEnd.fd));
        return bus.asyncCall(message, std::max(1, MillisecondsUntil(deadline)));
    }();
    // KWin answers with the picture's description first, then writes the rows from a thread of
    // its own, which waits for this program to read them.
    call.waitForFinished();
    const QDBusPendingReply<QVariantMap> reply = call;
    if (reply.isError()) {
        shot.outcome =
            reply.error().name() == kNotAuthorized ? Outcome::kRefused : Outcome::kFailed;
        return shot;
    }
    shot.header = HeaderOf(reply.value());
    const std::optional<KWinImageLayout> layout = KWinImageLayoutOf(shot.header);
    if (!layout) {
        return shot;
    }
    shot.layout = *layout;
    try {
        pixels.resize(layout->bytes);
    } catch (const std::bad_alloc&) {
        return shot;
    }
    if (ReadAll(readEnd.fd, pixels.data(), layout->bytes, deadline)) {
        shot.outcome = Outcome::kTaken;
    }
    return shot;
}

}  // namespace ruvello
