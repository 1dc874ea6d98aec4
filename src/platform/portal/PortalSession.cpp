#include "platform/portal/PortalSession.h"

#include "platform/portal/PortalBus.h"

#include <QDBusMessage>
#include <QDBusPendingCall>

namespace backreel::portal {

std::shared_ptr<PortalSession> PortalSession::make(QDBusConnection connection, QString path) {
    // The last owner may be on any thread: the object itself goes on its own thread.
    return std::shared_ptr<PortalSession>(new PortalSession(std::move(connection), std::move(path)),
                                          [](PortalSession* session) {
                                              session->close();
                                              session->deleteLater();
                                          });
}

PortalSession::PortalSession(QDBusConnection connection, QString path)
    : connection_(std::move(connection))
    , path_(std::move(path)) {
    connection_.connect(kPortalService, path_, kSessionInterface, QStringLiteral("Closed"), this,
                        SLOT(onClosed()));
}

PortalSession::~PortalSession() {
    connection_.disconnect(kPortalService, path_, kSessionInterface, QStringLiteral("Closed"), this,
                           SLOT(onClosed()));
}

void PortalSession::setClosedHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    onClosed_ = std::move(handler);
}

void PortalSession::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
        onClosed_ = nullptr;
    }
    connection_.asyncCall(
        QDBusMessage::createMethodCall(kPortalService, path_, kSessionInterface, QStringLiteral("Close")));
}

void PortalSession::onClosed() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
        handler = std::move(onClosed_);
        onClosed_ = nullptr;
    }
    if (handler) {
        handler();
    }
}

} // namespace backreel::portal
