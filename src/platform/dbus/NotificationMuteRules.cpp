#include "platform/dbus/NotificationMuteRules.h"

#include <QStringList>

namespace backreel {

bool inhibitionNotOffered(const QString& dbusErrorName) {
    // The first two come from the bus when nobody owns the name (the second when the bus was allowed
    // to start a server and has none to start); the others from a server whose object has no
    // Inhibit, as GNOME Shell's has not.
    static const QStringList notOffered = {
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
    };
    return notOffered.contains(dbusErrorName);
}

bool isGnomeDesktop(const QString& currentDesktop) {
    return currentDesktop.contains(QStringLiteral("GNOME"));
}

std::optional<bool> parseGsettingsBoolean(const QByteArray& output) {
    const QByteArray value = output.trimmed();
    if (value == "true") {
        return true;
    }
    if (value == "false") {
        return false;
    }
    return std::nullopt;
}

} // namespace backreel
