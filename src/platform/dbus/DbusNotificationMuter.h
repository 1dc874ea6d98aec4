#pragma once

#include "platform/NotificationMuter.h"

#include <QDBusConnection>
#include <QString>

#include <memory>

namespace backreel {

// What the muter needs to know of the desktop session when no notification server offers
// inhibition.
struct DesktopSession {
    QString currentDesktop;   // XDG_CURRENT_DESKTOP
    QString gsettingsProgram; // the path of gsettings; empty when it is not installed

    static DesktopSession fromEnvironment();
};

// Mutes notifications through the notification server on the bus where it offers
// org.freedesktop.Notifications.Inhibit (KDE Plasma), through GNOME's show-banners setting on
// GNOME, and elsewhere says once that it cannot and leaves them on. Every outcome is logged.
//
// Both calls return at once: answers arrive later through the main thread's event loop, and an
// unmute that comes before the mute's answer takes effect when the answer does. A mute while muted
// and an unmute while not muted change nothing. Destroying the muter lifts a mute in force or
// under way. Main thread.
class DbusNotificationMuter final : public NotificationMuter {
public:
    explicit DbusNotificationMuter(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                   DesktopSession session = DesktopSession::fromEnvironment());
    ~DbusNotificationMuter() override;
    DbusNotificationMuter(const DbusNotificationMuter&) = delete;
    DbusNotificationMuter& operator=(const DbusNotificationMuter&) = delete;

    void postMute() override;
    void postUnmute() override;

private:
    class Core;
    std::shared_ptr<Core> core_;
};

} // namespace backreel
