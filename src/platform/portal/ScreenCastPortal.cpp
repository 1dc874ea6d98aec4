#include "platform/portal/ScreenCastPortal.h"

#include "core/log/Log.h"
#include "platform/portal/PortalBus.h"
#include "platform/portal/PortalRequest.h"

#include <QCoroDBusPendingCall>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>

namespace backreel::portal {

namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage screenCastCall(const QString& method) {
    return QDBusMessage::createMethodCall(kPortalService, kPortalPath, kScreenCastInterface, method);
}

// What the portal's screen cast offers: its properties, or none where there is no portal.
struct PortalOffer {
    std::uint32_t sourceTypes = 0;
    std::uint32_t cursorModes = 0;
    std::uint32_t version = 0;
};

QCoro::Task<std::optional<PortalOffer>> readOffer(QDBusConnection bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPropertiesInterface,
                                                       QStringLiteral("GetAll"));
    call << kScreenCastInterface;
    QDBusPendingCall pending = bus.asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        Logger::recording().error(
            QStringLiteral("[Start] No screen-cast portal: %1").arg(reply.errorMessage()));
        co_return std::nullopt;
    }
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    if (!properties.contains(QStringLiteral("version"))) {
        co_return std::nullopt;
    }
    co_return PortalOffer{properties.value(QStringLiteral("AvailableSourceTypes")).toUInt(),
                          properties.value(QStringLiteral("AvailableCursorModes")).toUInt(),
                          properties.value(QStringLiteral("version")).toUInt()};
}

CaptureError answerError(ResponseCode code) {
    if (code == ResponseCode::cancelled) {
        return CaptureError{CaptureError::Kind::cancelled, QStringLiteral("The screen capture was cancelled.")};
    }
    return CaptureError::failed(QStringLiteral("The desktop did not start the screen capture."));
}

CaptureError noPortal() {
    return CaptureError{CaptureError::Kind::unavailable, kNoPortalMessage};
}

// The dialog and what follows it, on a session that exists.
QCoro::Task<Expected<ScreenCast, CaptureError>> startOnSession(QDBusConnection bus, std::shared_ptr<PortalSession> session,
                                                 ContentKind kind, PortalOffer offer, QString restoreToken) {
    QVariantMap options{{QStringLiteral("types"), sourceTypeFor(kind)}, {QStringLiteral("multiple"), false}};
    if (const std::optional<std::uint32_t> cursor = cursorModeFor(offer.cursorModes)) {
        options.insert(QStringLiteral("cursor_mode"), *cursor);
    }
    if (offer.version >= kFirstVersionWithRestore) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (!restoreToken.isEmpty()) {
            options.insert(QStringLiteral("restore_token"), restoreToken);
        }
    }
    QDBusMessage select = screenCastCall(QStringLiteral("SelectSources"));
    select << QVariant::fromValue(QDBusObjectPath(session->path()));
    QCoro::Task<Expected<PortalResponse>> selecting = portalRequest(bus, select, options);
    const Expected<PortalResponse> selected = co_await selecting;
    if (!selected) {
        co_return CaptureError::failed(selected.error().description);
    }
    if (selected.value().code != ResponseCode::success) {
        co_return answerError(selected.value().code);
    }

    QDBusMessage start = screenCastCall(QStringLiteral("Start"));
    start << QVariant::fromValue(QDBusObjectPath(session->path())) << QString();
    QCoro::Task<Expected<PortalResponse>> starting = portalRequest(bus, start, {});
    const Expected<PortalResponse> started = co_await starting;
    if (!started) {
        co_return CaptureError::failed(started.error().description);
    }
    if (started.value().code != ResponseCode::success) {
        co_return answerError(started.value().code);
    }
    const std::vector<CastStream> streams = castStreamsOf(started.value().results);
    if (streams.empty()) {
        co_return CaptureError::failed(QStringLiteral("The desktop shared nothing to capture."));
    }

    QDBusMessage open = screenCastCall(QStringLiteral("OpenPipeWireRemote"));
    open << QVariant::fromValue(QDBusObjectPath(session->path())) << QVariantMap();
    QDBusPendingCall opening = bus.asyncCall(open);
    const QDBusMessage opened = co_await opening;
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().isEmpty()) {
        co_return CaptureError::failed(portalCallError(opened).description);
    }
    const auto remote = qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().constFirst());
    if (!remote.isValid()) {
        co_return CaptureError::failed(QStringLiteral("The desktop portal gave no PipeWire connection."));
    }
    co_return ScreenCast{session, streams.front(), remote,
                         started.value().results.value(QStringLiteral("restore_token")).toString()};
}

} // namespace

QCoro::Task<Expected<ScreenCast, CaptureError>> startScreenCast(ContentKind kind, QString restoreToken) {
    const Logger log = Logger::recording();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        co_return noPortal();
    }
    QCoro::Task<std::optional<PortalOffer>> reading = readOffer(bus);
    const std::optional<PortalOffer> offer = co_await reading;
    if (!offer) {
        co_return noPortal();
    }
    if ((offer->sourceTypes & sourceTypeFor(kind)) == 0) {
        co_return CaptureError::failed(kind == ContentKind::window
                                      ? QStringLiteral("This desktop's portal cannot share single windows.")
                                      : QStringLiteral("This desktop's portal cannot share a display."));
    }

    // A token the desktop refuses ends the start with an error on some desktops (where others show
    // the dialog): then once more without it.
    for (const bool withToken : {true, false}) {
        if (!withToken && restoreToken.isEmpty()) {
            break;
        }
        const QString sessionToken = nextHandleToken();
        QDBusMessage create = screenCastCall(QStringLiteral("CreateSession"));
        QCoro::Task<Expected<PortalResponse>> creating =
            portalRequest(bus, create, {{QStringLiteral("session_handle_token"), sessionToken}});
        const Expected<PortalResponse> created = co_await creating;
        if (!created) {
            co_return CaptureError::failed(created.error().description);
        }
        if (created.value().code != ResponseCode::success) {
            co_return answerError(created.value().code);
        }
        const QString sessionPath = sessionPathOf(created.value().results);
        if (sessionPath.isEmpty()) {
            co_return CaptureError::failed(QStringLiteral("The desktop portal made no screen-cast session."));
        }
        std::shared_ptr<PortalSession> session = PortalSession::make(bus, sessionPath);
        QCoro::Task<Expected<ScreenCast, CaptureError>> starting =
            startOnSession(bus, session, kind, *offer, withToken ? restoreToken : QString());
        Expected<ScreenCast, CaptureError> cast = co_await starting;
        if (cast || !withToken || restoreToken.isEmpty() || cast.error().kind == CaptureError::Kind::cancelled) {
            co_return cast;
        }
        log.info(
            QStringLiteral("[Start] The desktop refused the screen-cast restore token (%1); asking again")
                .arg(cast.error().message));
    }
    co_return CaptureError::failed(QStringLiteral("The desktop did not start the screen capture."));
}

} // namespace backreel::portal
