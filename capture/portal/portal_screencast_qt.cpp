#include "capture/portal/portal_screencast_qt.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <optional>
#include <utility>

namespace ruvello {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint kSourceMonitor = 1;
constexpr uint kCursorHidden = 1;
constexpr uint kPersistUntilRevoked = 2;
constexpr uint kVersionWithRestore = 4;

// Request and session handles are made of tokens of the caller's choice: unique for the run, so
// that a new session never meets what is left of an old one.
QString NextToken() {
    static unsigned issued = 0;
    return QStringLiteral("ruvello%1").arg(++issued);
}

// Request and session paths name their caller: its unique bus name without the colon, with
// underscores for dots.
QString SenderPart(const QDBusConnection& bus) {
    QString name = bus.baseService();
    name.remove(0, 1);
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

std::optional<std::pair<int, int>> IntPair(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) {
        return std::nullopt;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(ii)")) {
        return std::nullopt;
    }
    int first = 0, second = 0;
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return std::pair{first, second};
}

// The Start answer's "streams", a(ua{sv}): a node and, when the portal says, its place.
std::vector<AnnouncedStream> ParseStreams(const QVariant& value) {
    std::vector<AnnouncedStream> streams;
    if (!value.canConvert<QDBusArgument>()) {
        return streams;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(ua{sv})")) {
        return streams;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        AnnouncedStream stream;
        QVariantMap properties;
        argument.beginStructure();
        argument >> stream.nodeId >> properties;
        argument.endStructure();
        const auto position = IntPair(properties.value(QStringLiteral("position")));
        const auto size = IntPair(properties.value(QStringLiteral("size")));
        if (position) {
            stream.place = LayoutRect{position->first, position->second, size ? size->first : 0,
                                      size ? size->second : 0};
        }
        streams.push_back(stream);
    }
    argument.endArray();
    return streams;
}

}  // namespace

PortalScreenCast::PortalScreenCast(QDBusConnection bus, Events events)
    : bus_(std::move(bus)), events_(std::move(events)) {}

PortalScreenCast::~PortalScreenCast() {
    const bool asking = step_ == Step::kCreate || step_ == Step::kSelect || step_ == Step::kStart;
    if (asking && !requestPath_.isEmpty()) {  // the chooser goes away with the program
        bus_.send(QDBusMessage::createMethodCall(kService, requestPath_, kRequest,
                                                 QStringLiteral("Close")));
    }
    if (!sessionPath_.isEmpty() && step_ != Step::kEnded) {
        bus_.send(QDBusMessage::createMethodCall(kService, sessionPath_, kSession,
                                                 QStringLiteral("Close")));
    }
}

void PortalScreenCast::Open(const std::string& restoreToken) {
    restoreToken_ = restoreToken;
    if (!bus_.isConnected()) {
        End(PortalEnd::kUnavailable);
        return;
    }
    ReadProperties();
}

void PortalScreenCast::ReadProperties() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    message << kScreenCast;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    Enter(Step::kCreate);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        const QVariantMap properties = reply.type() == QDBusMessage::ReplyMessage
                                           ? qdbus_cast<QVariantMap>(reply.arguments().value(0))
                                           : QVariantMap();
        portalVersion_ = properties.value(QStringLiteral("version")).toUInt();
        cursorModes_ = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
        const uint sources = properties.value(QStringLiteral("AvailableSourceTypes")).toUInt();
        if (!(sources & kSourceMonitor)) {
            End(PortalEnd::kUnavailable);
            return;
        }
        CreateSession();
    });
}

void PortalScreenCast::CreateSession() {
    Enter(Step::kCreate);
    Request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), NextToken()}});
}

void PortalScreenCast::SelectSources() {
    Enter(Step::kSelect);
    QVariantMap options{{QStringLiteral("types"), kSourceMonitor},
                        {QStringLiteral("multiple"), true}};
    if (cursorModes_ & kCursorHidden) {
        options.insert(QStringLiteral("cursor_mode"), kCursorHidden);
    }
    if (portalVersion_ >= kVersionWithRestore) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (!restoreToken_.empty()) {
            options.insert(QStringLiteral("restore_token"), QString::fromStdString(restoreToken_));
        }
    }
    Request(QStringLiteral("SelectSources"), {QVariant::fromValue(QDBusObjectPath(sessionPath_))},
            options);
}

void PortalScreenCast::Start() {
    Enter(Step::kStart);
    Request(QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QString()}, {});
}

void PortalScreenCast::OpenRemote() {
    Enter(Step::kOpenRemote);
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPortalPath, kScreenCast,
                                                          QStringLiteral("OpenPipeWireRemote"));
    message << QVariant::fromValue(QDBusObjectPath(sessionPath_)) << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (step_ != Step::kOpenRemote) {
            return;  // the session closed meanwhile
        }
        const QDBusMessage reply = watcher->reply();
        const auto remote = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
        const int fd = remote.isValid() ? fcntl(remote.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
        if (reply.type() != QDBusMessage::ReplyMessage || fd < 0) {
            End(PortalEnd::kFailed);
            return;
        }
        Enter(Step::kRunning);
        started_.pipewireFd = fd;
        events_.started(std::exchange(started_, {}));
    });
}

void PortalScreenCast::Enter(Step step) {
    step_ = step;
    stepBegan_ = std::chrono::steady_clock::now();
}

std::optional<SteadyTime> PortalScreenCast::WaitingSince() const {
    const bool byItself =
        step_ == Step::kCreate || step_ == Step::kSelect || step_ == Step::kOpenRemote;
    return byItself ? std::optional(stepBegan_) : std::nullopt;
}

void PortalScreenCast::Request(const QString& method, QList<QVariant> arguments,
                               QVariantMap options) {
    const QString token = NextToken();
    options.insert(QStringLiteral("handle_token"), token);
    // Watched before the call, so that an answer that comes at once is not missed.
    const QString expected =
        kPortalPath + QStringLiteral("/request/") + SenderPart(bus_) + QLatin1Char('/') + token;
    WatchRequest(expected);
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPortalPath, kScreenCast, method);
    arguments.append(options);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, expected] {
        watcher->deleteLater();
        // The answer may arrive before the call's reply, and the next step then watches its own
        // request: the late reply must not take that watch away.
        if (requestPath_ != expected) {
            return;
        }
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            End(reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
                    ? PortalEnd::kUnavailable
                    : PortalEnd::kFailed);
            return;
        }
        // Portals before version 0.9 chose the handle themselves.
        const QString handle = qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
        if (!handle.isEmpty() && handle != expected) {
            WatchRequest(handle);
        }
    });
}

void PortalScreenCast::WatchRequest(const QString& path) {
    if (!requestPath_.isEmpty()) {
        bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                        SLOT(OnResponse(uint, QVariantMap)));
    }
    requestPath_ = path;
    bus_.connect(kService, path, kRequest, QStringLiteral("Response"), this,
                 SLOT(OnResponse(uint, QVariantMap)));
}

void PortalScreenCast::OnResponse(uint response, const QVariantMap& results) {
    if (response != 0) {
        End(response == 1 ? PortalEnd::kRefused : PortalEnd::kFailed);
        return;
    }
    switch (step_) {
        case Step::kCreate:
            sessionPath_ = results.value(QStringLiteral("session_handle")).toString();
            bus_.connect(kService, sessionPath_, kSession, QStringLiteral("Closed"), this,
                         SLOT(OnSessionClosed()));
            SelectSources();
            break;
        case Step::kSelect:
            Start();
            break;
        case Step::kStart:
            started_.streams = ParseStreams(results.value(QStringLiteral("streams")));
            started_.restoreToken =
                results.value(QStringLiteral("restore_token")).toString().toStdString();
            if (started_.streams.empty()) {
                End(PortalEnd::kFailed);
            } else {
                OpenRemote();
            }
            break;
        default:
            break;
    }
}

void PortalScreenCast::OnSessionClosed() {
    End(step_ == Step::kRunning ? PortalEnd::kStopped : PortalEnd::kFailed);
}

// The owner may drop this object from `ended`: nothing is touched after it.
void PortalScreenCast::End(PortalEnd why) {
    if (step_ == Step::kEnded) {
        return;
    }
    Enter(Step::kEnded);
    if (!requestPath_.isEmpty()) {
        bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                        SLOT(OnResponse(uint, QVariantMap)));
    }
    if (!sessionPath_.isEmpty()) {
        bus_.disconnect(kService, sessionPath_, kSession, QStringLiteral("Closed"), this,
                        SLOT(OnSessionClosed()));
        if (why != PortalEnd::kStopped) {
            bus_.send(QDBusMessage::createMethodCall(kService, sessionPath_, kSession,
                                                     QStringLiteral("Close")));
        }
    }
    events_.ended(why);
}

}  // namespace ruvello
