#include "capture/RecorderSettings.h"

#include "capture/PropertyChange.h"
#include "core/Settings.h"
#include "export/SaveLocation.h"

#include <cstdint>
#include <optional>
#include <QDir>
#include <QStandardPaths>

namespace backreel {

RecorderSettings::RecorderSettings(QObject* parent)
    : QObject(parent)
    , muteNotifications_(Settings::boolValue(Settings::kMuteNotificationsKey))
    , clipFolder_(Settings::stringValue(Settings::kClipFolderKey).value_or(QString()))
    , askWhereToSave_(Settings::boolValue(Settings::kAskWhereToSaveKey))
    , freshBufferAfterSave_(Settings::boolValue(Settings::kFreshBufferAfterSaveKey))
    , bufferAtLaunch_(Settings::boolValue(Settings::kBufferAtLaunchKey))
    , codec_(Settings::stringValue(Settings::kCodecKey) == QStringLiteral("h264") ? CodecChoice::h264
                                                                                  : CodecChoice::automatic) {
    if (const std::optional<std::int64_t> bytes = Settings::integerValue(Settings::kMemoryLimitKey);
        bytes && *bytes > 0) {
        memoryLimit_ = MemoryLimit(*bytes);
    }
}

void RecorderSettings::setMuteNotifications(bool mute) {
    Settings::setBoolValue(Settings::kMuteNotificationsKey, mute);
    changeProperty(*this, muteNotifications_, mute, &RecorderSettings::muteNotificationsChanged);
}

void RecorderSettings::setMemoryLimit(MemoryLimit limit) {
    Settings::setIntegerValue(Settings::kMemoryLimitKey, limit.bytes());
    changeProperty(*this, memoryLimit_, limit, &RecorderSettings::memoryLimitChanged);
}

void RecorderSettings::setClipFolder(const QString& folder) {
    Settings::setStringValue(Settings::kClipFolderKey, folder);
    changeProperty(*this, clipFolder_, folder, &RecorderSettings::clipFolderChanged);
}

QString RecorderSettings::effectiveClipFolder() const {
    if (!clipFolder_.isEmpty()) {
        return clipFolder_;
    }
    return defaultClipFolder(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation),
                             QDir::homePath());
}

void RecorderSettings::setAskWhereToSave(bool ask) {
    Settings::setBoolValue(Settings::kAskWhereToSaveKey, ask);
    changeProperty(*this, askWhereToSave_, ask, &RecorderSettings::askWhereToSaveChanged);
}

void RecorderSettings::setFreshBufferAfterSave(bool fresh) {
    Settings::setBoolValue(Settings::kFreshBufferAfterSaveKey, fresh);
    changeProperty(*this, freshBufferAfterSave_, fresh, &RecorderSettings::freshBufferAfterSaveChanged);
}

void RecorderSettings::setBufferAtLaunch(bool buffer) {
    Settings::setBoolValue(Settings::kBufferAtLaunchKey, buffer);
    changeProperty(*this, bufferAtLaunch_, buffer, &RecorderSettings::bufferAtLaunchChanged);
}

void RecorderSettings::setCodec(CodecChoice codec) {
    Settings::setStringValue(Settings::kCodecKey, codec == CodecChoice::h264 ? QStringLiteral("h264")
                                                                             : QStringLiteral("automatic"));
    changeProperty(*this, codec_, codec, &RecorderSettings::codecChanged);
}

} // namespace backreel
