#include "platform/portal/PortalRequest.h"

#include "platform/portal/PortalBus.h"

#include <atomic>
#include <QCoroDBusPendingCall>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

namespace backreel::portal {

PortalRequest::PortalRequest(QDBusConnection connection, QString path)
    : connection_(std::move(connection))
    , path_(std::move(path))
    , answer_(Error(QStringLiteral("The desktop portal did not answer.")))
    , answered_(answer_.callback())
    , portalWatch_(kPortalService, connection_, QDBusServiceWatcher::WatchForUnregistration) {
    connection_.connect(kPortalService, path_, kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(onResponse(uint, QVariantMap)));
    connect(&portalWatch_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { answered_(Error(QStringLiteral("The desktop portal went away."))); });
}

PortalRequest::~PortalRequest() {
    connection_.disconnect(kPortalService, path_, kRequestInterface, QStringLiteral("Response"), this,
                           SLOT(onResponse(uint, QVariantMap)));
}

QCoro::Task<Expected<PortalResponse>> PortalRequest::wait() {
    QCoro::Task<Expected<PortalResponse>> answer = answer_.wait();
    co_return co_await answer;
}

void PortalRequest::onResponse(uint code, const QVariantMap& results) {
    answered_(PortalResponse{static_cast<ResponseCode>(code), results});
}

QString nextHandleToken() {
    static std::atomic<int> counter{0};
    return QStringLiteral("backreel%1").arg(++counter);
}

Error portalCallError(const QDBusMessage& reply) {
    return Error(QStringLiteral("The desktop portal failed: %1").arg(reply.errorMessage()));
}

QCoro::Task<Expected<PortalResponse>> portalRequest(QDBusConnection bus, QDBusMessage call,
                                                    QVariantMap options) {
    const QString token = nextHandleToken();
    options.insert(QStringLiteral("handle_token"), token);
    call << options;
    // Listening before the call: the answer may come before the call's reply.
    auto expected = std::make_unique<PortalRequest>(bus, requestPath(bus.baseService(), token));
    QDBusPendingCall pending = bus.asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        co_return portalCallError(reply);
    }
    const QString handle = qdbus_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (handle != expected->path()) {
        // An older portal makes its own path; its answer comes there.
        expected = std::make_unique<PortalRequest>(bus, handle);
    }
    QCoro::Task<Expected<PortalResponse>> answer = expected->wait();
    co_return co_await answer;
}

} // namespace backreel::portal
