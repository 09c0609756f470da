#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <optional>

#include "capture/portal/portal_screencast_qt.h"
#include "tests/linux/qt_application.h"

struct FakePortalStream {
    uint node = 0;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(FakePortalStream)

QDBusArgument& operator<<(QDBusArgument& argument, const FakePortalStream& stream) {
    argument.beginStructure();
    argument << stream.node << stream.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, FakePortalStream& stream) {
    argument.beginStructure();
    argument >> stream.node >> stream.properties;
    argument.endStructure();
    return argument;
}

namespace ruvello {
namespace {

const QString kDesktopPath = QStringLiteral("/org/freedesktop/portal/desktop");

// A session bus of the test's own, ended with the test.
class PrivateBus {
  public:
    PrivateBus() {
        daemon_.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"),
             QStringLiteral("--print-address"), QStringLiteral("--address=unix:tmpdir=/tmp")});
        const QDeadlineTimer deadline(30'000);
        while (!daemon_.canReadLine() && !deadline.hasExpired() &&
               daemon_.state() != QProcess::NotRunning) {
            daemon_.waitForReadyRead(100);
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        daemon_.kill();
        daemon_.waitForFinished(30'000);
    }
    QDBusConnection Connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }
    bool Running() const { return !address_.isEmpty(); }

  private:
    QProcess daemon_;
    QString address_;
};

// org.freedesktop.portal.ScreenCast that grants everything at once. `answerFirst` sends each
// request's Response before the call's reply: the order in which a loaded machine may deliver
// them.
class FakePortal : public QDBusVirtualObject {
  public:
    explicit FakePortal(bool answerFirst) : answerFirst_(answerFirst) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        calls.push_back(call.member());
        if (call.member() == QLatin1String("GetAll")) {
            const QVariantMap properties{{QStringLiteral("version"), 4u},
                                         {QStringLiteral("AvailableSourceTypes"), 1u},
                                         {QStringLiteral("AvailableCursorModes"), 1u}};
            bus.send(call.createReply(QVariant::fromValue(properties)));
        } else if (call.member() == QLatin1String("CreateSession")) {
            const QString session =
                kDesktopPath + QStringLiteral("/session/") + Caller(call) + QLatin1Char('/') +
                Options(call).value(QStringLiteral("session_handle_token")).toString();
            Answer(call, bus, {{QStringLiteral("session_handle"), session}});
        } else if (call.member() == QLatin1String("SelectSources")) {
            Answer(call, bus, {});
        } else if (call.member() == QLatin1String("Start")) {
            const QList<FakePortalStream> streams{{42, {}}};
            Answer(call, bus,
                   {{QStringLiteral("streams"), QVariant::fromValue(streams)},
                    {QStringLiteral("restore_token"), QStringLiteral("token-1")}});
        } else if (call.member() == QLatin1String("OpenPipeWireRemote")) {
            int ends[2];
            if (pipe(ends) == 0) {
                bus.send(call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[0]))));
                close(ends[0]);
                close(ends[1]);
            }
        } else {
            bus.send(call.createReply());  // Session.Close, Request.Close
        }
        return true;
    }

    QStringList calls;

  private:
    static QString Caller(const QDBusMessage& call) {
        return call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    }
    static QVariantMap Options(const QDBusMessage& call) {
        return qdbus_cast<QVariantMap>(call.arguments().constLast());
    }

    void Answer(const QDBusMessage& call, const QDBusConnection& bus, const QVariantMap& results) {
        const QString request = kDesktopPath + QStringLiteral("/request/") + Caller(call) +
                                QLatin1Char('/') +
                                Options(call).value(QStringLiteral("handle_token")).toString();
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            call.service(), request, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"));
        response << 0u << results;
        const QDBusMessage reply = call.createReply(QVariant::fromValue(QDBusObjectPath(request)));
        if (answerFirst_) {
            bus.send(response);
            bus.send(reply);
        } else {
            bus.send(reply);
            bus.send(response);
        }
    }

    bool answerFirst_;
};

// Keeps the fake portal on the bus for one scope.
struct Served {
    QDBusConnection bus;
    ~Served() { bus.unregisterObject(kDesktopPath, QDBusConnection::UnregisterTree); }
};

// The portal's answer to a request and the reply to its call come in either order: the
// conversation goes on to its end both ways.
TEST(PortalScreenCast, AnAnswerBeforeTheCallsReplyIsNotLost) {
    OffscreenApplication app;
    qDBusRegisterMetaType<FakePortalStream>();
    qDBusRegisterMetaType<QList<FakePortalStream>>();
    for (const bool answerFirst : {false, true}) {
        SCOPED_TRACE(answerFirst ? "answer first" : "reply first");
        PrivateBus bus;
        ASSERT_TRUE(bus.Running()) << "no dbus-daemon";
        FakePortal portal(answerFirst);
        Served served{bus.Connect(QStringLiteral("portal"))};
        ASSERT_TRUE(
            served.bus.registerVirtualObject(kDesktopPath, &portal, QDBusConnection::SubPath));
        ASSERT_TRUE(served.bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

        std::optional<PortalScreenCast::Started> started;
        std::optional<PortalEnd> ended;
        {
            PortalScreenCast cast(bus.Connect(QStringLiteral("client")),
                                  {[&](PortalScreenCast::Started s) { started = std::move(s); },
                                   [&](PortalEnd why) { ended = why; }});
            cast.Open("");
            const QDeadlineTimer deadline(30'000);
            while (!started && !ended && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            }
        }
        ASSERT_TRUE(started) << "stopped after: " << portal.calls.join(u' ').toStdString();
        EXPECT_FALSE(ended);
        ASSERT_EQ(started->streams.size(), 1u);
        EXPECT_EQ(started->streams[0].nodeId, 42u);
        EXPECT_EQ(started->restoreToken, "token-1");
        EXPECT_GE(started->pipewireFd, 0);
        close(started->pipewireFd);
        EXPECT_EQ(portal.calls.mid(0, 5), QStringList({"GetAll", "CreateSession", "SelectSources",
                                                       "Start", "OpenPipeWireRemote"}));
    }
}

}  // namespace
}  // namespace ruvello
