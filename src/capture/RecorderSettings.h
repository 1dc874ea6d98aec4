#pragma once

#include "capture/CodecChoice.h"
#include "capture/MemoryLimit.h"

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
    bool bufferAtLaunch() const { return bufferAtLaunch_; }
    void setBufferAtLaunch(bool buffer);
    // The codec of the next recordings.
    CodecChoice codec() const { return codec_; }
    void setCodec(CodecChoice codec);

signals:
    void muteNotificationsChanged();
    void memoryLimitChanged();
    void clipFolderChanged();
    void askWhereToSaveChanged();
    void freshBufferAfterSaveChanged();
    void bufferAtLaunchChanged();
    void codecChanged();

private:
    bool muteNotifications_ = false;
    MemoryLimit memoryLimit_ = MemoryLimit::defaultLimit();
    QString clipFolder_;
    bool askWhereToSave_ = false;
    bool freshBufferAfterSave_ = false;
    bool bufferAtLaunch_ = false;
    CodecChoice codec_ = CodecChoice::automatic;
};

} // namespace backreel
