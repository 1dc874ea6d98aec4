#include "platform/portal/HostRegistry.h"

#include "core/log/Log.h"
#include "platform/portal/PortalBus.h"
#include "platform/ShareableContent.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace backreel::portal {

void registerWithPortal() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                       QStringLiteral("org.freedesktop.host.portal.Registry"),
                                                       QStringLiteral("Register"));
    call << kApplicationID << QVariantMap{};
    // Not waited for: the bus keeps this connection's calls in order, so the portal hears it first.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<> reply = *done;
        if (reply.isError()) {
            // Older portals have no registry; the desktop then goes by the process's scope.
            Logger::recording().info(QStringLiteral("[Portal] Not registered as %1: %2")
                                         .arg(kApplicationID, reply.error().message()));
        } else {
            Logger::recording().info(QStringLiteral("[Portal] Registered as %1").arg(kApplicationID));
        }
        done->deleteLater();
    });
}

} // namespace backreel::portal
