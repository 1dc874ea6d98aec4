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
    , notifyMarkers_(Settings::boolValue(Settings::kNotifyMarkersKey))
    , bufferAtLaunch_(Settings::boolValue(Settings::kBufferAtLaunchKey))
    , codec_(Settings::stringValue(Settings::kCodecKey) == QStringLiteral("h264") ? CodecChoice::h264
                                                                                  : CodecChoice::automatic)
    , frameRate_(Settings::integerValue(Settings::kFrameRateKey) == 60 ? 60 : 30)
    , microphone_(Settings::boolValue(Settings::kMicrophoneKey))
    , microphoneDevice_(Settings::stringValue(Settings::kMicrophoneDeviceKey).value_or(QString()))
    , microphoneTrack_(Settings::boolValue(Settings::kMicrophoneMixedKey) ? MicrophoneTrack::mixed
                                                                           : MicrophoneTrack::separate)
    , soundApplication_(Settings::stringValue(Settings::kSoundApplicationKey).value_or(QString()))
    , soundApplicationName_(Settings::stringValue(Settings::kSoundApplicationNameKey).value_or(QString())) {
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

void RecorderSettings::setNotifyMarkers(bool notify) {
    Settings::setBoolValue(Settings::kNotifyMarkersKey, notify);
    changeProperty(*this, notifyMarkers_, notify, &RecorderSettings::notifyMarkersChanged);
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

void RecorderSettings::setFrameRate(int rate) {
    rate = rate == 60 ? 60 : 30;
    Settings::setIntegerValue(Settings::kFrameRateKey, rate);
    changeProperty(*this, frameRate_, rate, &RecorderSettings::frameRateChanged);
}

void RecorderSettings::setMicrophone(bool record) {
    Settings::setBoolValue(Settings::kMicrophoneKey, record);
    changeProperty(*this, microphone_, record, &RecorderSettings::soundChanged);
}

void RecorderSettings::setMicrophoneDevice(const QString& name) {
    Settings::setStringValue(Settings::kMicrophoneDeviceKey, name);
    changeProperty(*this, microphoneDevice_, name, &RecorderSettings::soundChanged);
}

void RecorderSettings::setMicrophoneTrack(MicrophoneTrack track) {
    Settings::setBoolValue(Settings::kMicrophoneMixedKey, track == MicrophoneTrack::mixed);
    changeProperty(*this, microphoneTrack_, track, &RecorderSettings::soundChanged);
}

void RecorderSettings::setSoundApplication(const QString& binary, const QString& name) {
    Settings::setStringValue(Settings::kSoundApplicationKey, binary);
    Settings::setStringValue(Settings::kSoundApplicationNameKey, name);
    soundApplicationName_ = name;
    changeProperty(*this, soundApplication_, binary, &RecorderSettings::soundChanged);
}

AudioInput systemSoundInput(const RecorderSettings& settings) {
    if (settings.soundApplication().isEmpty()) {
        return {};
    }
    return {AudioInput::Kind::application, settings.soundApplication().toStdString()};
}

std::optional<AudioInput> microphoneInput(const RecorderSettings& settings) {
    if (!settings.microphone()) {
        return std::nullopt;
    }
    return AudioInput{AudioInput::Kind::microphone, settings.microphoneDevice().toStdString()};
}

} // namespace backreel
