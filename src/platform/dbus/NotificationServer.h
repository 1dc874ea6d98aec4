#pragma once

#include <QDBusMessage>
#include <QString>

namespace backreel::notification_server {

// The desktop's notification server on the session bus (org.freedesktop.Notifications), which
// both shows our notifications and, on some desktops, mutes everyone's.
inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
inline const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The desktop entry the server files our notifications and inhibitions under.
inline const QString kDesktopEntry = QStringLiteral("com.strandloft.Backreel");
// Plasma and GNOME answer at once; a server that takes this long is stuck, and nothing of ours
// (an unmute, say) should wait longer for it.
inline constexpr int kReplyTimeoutMs = 10'000;

inline QDBusMessage methodCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace backreel::notification_server
