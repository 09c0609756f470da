#include "platform/session_state_qt.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace ruvello {
namespace {

// The answer comes within a millisecond when the service runs and at once when it does not; the
// limit only bounds a service that hangs, since the shot waits for it.
constexpr int kReplyTimeoutMs = 250;

bool AnswersTrue(const QDBusConnection& bus, const QDBusMessage& call) {
    if (!bus.isConnected()) {
        return false;
    }
    const QDBusMessage reply = bus.call(call, QDBus::Block, kReplyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    QVariant value = reply.arguments().constFirst();
    if (value.canConvert<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value.typeId() == QMetaType::Bool && value.toBool();
}

bool LogindLockedHint() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1/session/auto"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.freedesktop.login1.Session") << QStringLiteral("LockedHint");
    return AnswersTrue(QDBusConnection::systemBus(), call);
}

bool ScreenSaverActive() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("GetActive"));
    call.setAutoStartService(false);  // asking must not start a screen saver
    return AnswersTrue(QDBusConnection::sessionBus(), call);
}

}  // namespace

bool QtSessionState::Locked() {
    return LogindLockedHint() || ScreenSaverActive();
}

}  // namespace ruvello
