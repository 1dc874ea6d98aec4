#pragma once

#include "capture/CodecChoice.h"
#include "capture/MemoryLimit.h"
#include "export/Clip.h"
#include "platform/AudioSource.h"

#include <QObject>
#include <QString>

namespace backreel {

// The recorder's options the user keeps from one launch to the next: read from the settings once,
// when made, and written back on every assignment, also of the value held (setters of equal values
// do not notify). The application makes one and hands it to the recording manager and the windows
// that show the options.
//
// Thread contract: main thread only.
class RecorderSettings final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool muteNotifications READ muteNotifications WRITE setMuteNotifications NOTIFY
                   muteNotificationsChanged)
    Q_PROPERTY(MemoryLimit memoryLimit READ memoryLimit WRITE setMemoryLimit NOTIFY memoryLimitChanged)
    Q_PROPERTY(QString clipFolder READ clipFolder WRITE setClipFolder NOTIFY clipFolderChanged)
    Q_PROPERTY(bool askWhereToSave READ askWhereToSave WRITE setAskWhereToSave NOTIFY askWhereToSaveChanged)
    Q_PROPERTY(bool freshBufferAfterSave READ freshBufferAfterSave WRITE setFreshBufferAfterSave NOTIFY
                   freshBufferAfterSaveChanged)

public:
    explicit RecorderSettings(QObject* parent = nullptr);

    // Whether the desktop's notifications are held back while buffering.
    bool muteNotifications() const { return muteNotifications_; }
    void setMuteNotifications(bool mute);
    // What the stores of a recording may hold; a running recording keeps the limit it started with.
    MemoryLimit memoryLimit() const { return memoryLimit_; }
    void setMemoryLimit(MemoryLimit limit);

    // The Save Clip settings. An empty clip folder stands for the default one (see defaultClipFolder()).
    QString clipFolder() const { return clipFolder_; }
    void setClipFolder(const QString& folder);
    // The folder Save Clip saves in: the chosen one, or the default.
    QString effectiveClipFolder() const;
    bool askWhereToSave() const { return askWhereToSave_; }
    void setAskWhereToSave(bool ask);
    bool freshBufferAfterSave() const { return freshBufferAfterSave_; }
    void setFreshBufferAfterSave(bool fresh);
    // "Start buffering when Backreel starts", with the last recording's target.
    // Whether setting a marker brings a notification; off by default: games are full screen.
    bool notifyMarkers() const { return notifyMarkers_; }
    void setNotifyMarkers(bool notify);
    bool bufferAtLaunch() const { return bufferAtLaunch_; }
    void setBufferAtLaunch(bool buffer);
    // The codec of the next recordings.
    CodecChoice codec() const { return codec_; }
    void setCodec(CodecChoice codec);
    // Frames per second of the next recordings: 30 or 60 (anything else is taken as 30).
    int frameRate() const { return frameRate_; }
    void setFrameRate(int rate);

    // The microphone of the next recordings: whether there is one, which (empty: the default
    // one), and how it is written.
    bool microphone() const { return microphone_; }
    void setMicrophone(bool record);
    QString microphoneDevice() const { return microphoneDevice_; }
    void setMicrophoneDevice(const QString& name);
    MicrophoneTrack microphoneTrack() const { return microphoneTrack_; }
    void setMicrophoneTrack(MicrophoneTrack track);
    // The system sound of the next recordings: everything (an empty binary) or one application's,
    // by its program's name, with the name it was shown by.
    QString soundApplication() const { return soundApplication_; }
    QString soundApplicationName() const { return soundApplicationName_; }
    void setSoundApplication(const QString& binary, const QString& name);

signals:
    void muteNotificationsChanged();
    void memoryLimitChanged();
    void clipFolderChanged();
    void askWhereToSaveChanged();
    void freshBufferAfterSaveChanged();
    void bufferAtLaunchChanged();
    void notifyMarkersChanged();
    void codecChanged();
    void frameRateChanged();
    void soundChanged();

private:
    bool muteNotifications_ = false;
    MemoryLimit memoryLimit_ = MemoryLimit::defaultLimit();
    QString clipFolder_;
    bool askWhereToSave_ = false;
    bool freshBufferAfterSave_ = false;
    bool notifyMarkers_ = false;
    bool bufferAtLaunch_ = false;
    CodecChoice codec_ = CodecChoice::automatic;
    int frameRate_ = 30;
    bool microphone_ = false;
    QString microphoneDevice_;
    MicrophoneTrack microphoneTrack_ = MicrophoneTrack::separate;
    QString soundApplication_;
    QString soundApplicationName_;
};

// What the next recording records as the system sound, and as its microphone (none when off).
AudioInput systemSoundInput(const RecorderSettings& settings);
std::optional<AudioInput> microphoneInput(const RecorderSettings& settings);

} // namespace backreel
