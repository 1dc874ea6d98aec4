#pragma once

#include <QString>

namespace backreel {

// The user's persisted options, in QSettings under organization "strandloft", application
// "Backreel". Main thread.
class Settings {
public:
    static inline const QString kMuteNotificationsKey = QStringLiteral("com.loopvane.muteNotifications");
    static inline const QString kAlwaysOnTopKey = QStringLiteral("alwaysOnTop");

    // The stored boolean, or false when there is none or it is not a boolean.
    static bool boolValue(const QString& key);
    static void setBoolValue(const QString& key, bool value);
};

} // namespace backreel
