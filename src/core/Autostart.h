#pragma once

#include "core/Error.h"

#include <optional>
#include <QString>

namespace backreel {

// Start at login: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/com.strandloft.Backreel.desktop,
// that launches Backreel into the tray, buffering. The session starts it as it starts the
// applications menu's entries, so the desktop can tell which application it is.
QString autostartPath();
// The entry's text.
QString autostartEntry();
bool startsAtLogin();
// Writes or removes the entry; the reason when that failed.
std::optional<Error> setStartAtLogin(bool start);

} // namespace backreel
