#pragma once

#include <cstdint>
#include <optional>
#include <QString>

namespace backreel {

// The user's persisted options, in QSettings under organization "strandloft", application
// "Backreel". Main thread.
class Settings {
public:
    static inline const QString kMuteNotificationsKey = QStringLiteral("com.loopvane.muteNotifications");
    static inline const QString kAlwaysOnTopKey = QStringLiteral("alwaysOnTop");
    static inline const QString kMemoryLimitKey = QStringLiteral("memoryLimitBytes");
    static inline const QString kSaveClipShortcutKey = QStringLiteral("shortcuts/saveClip");
    static inline const QString kStartStopShortcutKey = QStringLiteral("shortcuts/startStop");
    static inline const QString kMarkShortcutKey = QStringLiteral("shortcuts/mark");
    static inline const QString kReviewShortcutKey = QStringLiteral("shortcuts/review");
    static inline const QString kClipFolderKey = QStringLiteral("clipFolder");
    static inline const QString kAskWhereToSaveKey = QStringLiteral("askWhereToSave");
    static inline const QString kFreshBufferAfterSaveKey = QStringLiteral("freshBufferAfterSave");
    static inline const QString kNotifyMarkersKey = QStringLiteral("notifyMarkers");
    static inline const QString kBufferAtLaunchKey = QStringLiteral("bufferAtLaunch");
    static inline const QString kCodecKey = QStringLiteral("codec");
    static inline const QString kMicrophoneKey = QStringLiteral("microphone/enabled");
    static inline const QString kMicrophoneDeviceKey = QStringLiteral("microphone/device");
    static inline const QString kMicrophoneMixedKey = QStringLiteral("microphone/mixed");
    static inline const QString kSoundApplicationKey = QStringLiteral("systemSound/application");
    static inline const QString kSoundApplicationNameKey = QStringLiteral("systemSound/applicationName");
    static inline const QString kFrameRateKey = QStringLiteral("frameRate");

    // The stored boolean, or false when there is none or it is not a boolean.
    static bool boolValue(const QString& key);
    static void setBoolValue(const QString& key, bool value);
    // The stored whole number, or none when there is none or it is not one.
    static std::optional<std::int64_t> integerValue(const QString& key);
    static void setIntegerValue(const QString& key, std::int64_t value);
    // The stored text (possibly empty), or none when there is none.
    static std::optional<QString> stringValue(const QString& key);
    static void setStringValue(const QString& key, const QString& value);
    static void remove(const QString& key);
};

} // namespace backreel
