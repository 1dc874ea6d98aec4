#include "platform/portal/PortalRequest.h"

#include "platform/portal/PortalBus.h"

namespace backreel::portal {

PortalRequest::PortalRequest(QDBusConnection connection, QString path)
    : connection_(std::move(connection))
    , path_(std::move(path))
    , answer_(Error::backreel(0, QStringLiteral("The desktop portal did not answer.")))
    , answered_(answer_.callback())
    , portalWatch_(kPortalService, connection_, QDBusServiceWatcher::WatchForUnregistration) {
    connection_.connect(kPortalService, path_, kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(onResponse(uint, QVariantMap)));
    connect(&portalWatch_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { answered_(Error::backreel(0, QStringLiteral("The desktop portal went away."))); });
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

} // namespace backreel::portal
