#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace backreel {

// The notification muter's decisions over plain values. Any thread.

// Whether an error answering org.freedesktop.Notifications.Inhibit means that nothing here offers
// inhibition (no notification server on the bus, or one without the method) rather than that a
// server offering it refused or failed.
bool inhibitionNotOffered(const QString& dbusErrorName);

// Whether XDG_CURRENT_DESKTOP names GNOME or a desktop built on it ("ubuntu:GNOME").
bool isGnomeDesktop(const QString& currentDesktop);

// The boolean `gsettings get` printed, or nothing when the output is not one.
std::optional<bool> parseGsettingsBoolean(const QByteArray& output);

} // namespace backreel
