#pragma once

#include "platform/FileReveal.h"
#include "platform/SaveNotifier.h"

#include <functional>
#include <map>
#include <memory>
#include <QDBusConnection>
#include <QObject>

namespace backreel {

// A clip's length as a notification tells it: "9 s", "1 min", "2 min 5 s" (whole seconds, rounded).
QString clipLengthText(double seconds);

// Sends save notifications to the desktop's notification server (org.freedesktop.Notifications
// Notify) and acts on their buttons: "Open" hands the movie to `open` (the desktop's default
// player), "Show in Folder" to the file reveal. Saved clips come with normal urgency and failures
// with critical urgency; neither is marked transient, so a notification the desktop holds back
// (while our own mute is in force, say) stays in its notification list. Without a notification
// server the log says so once. Main thread.
class DbusSaveNotifier final : public QObject, public SaveNotifier {
    Q_OBJECT

public:
    using Opener = std::function<void(const QString& path)>;

    // `open` defaults to the desktop's opener (QDesktopServices).
    DbusSaveNotifier(std::shared_ptr<FileReveal> reveal, Opener open = {},
                     const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~DbusSaveNotifier() override;

    void notifySaved(const QString& path, double seconds) override;
    void notifyFailed(const QString& message) override;
    // Transient: a marker matters in the moment only, and the desktop need not keep it in its list.
    void notifyMarked(const QString& label) override;

private slots:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    // Sends one notification; `path` is the file its actions act on (empty for none).
    enum class Kind { saved, failed, marked };
    void send(const QString& summary, const QString& body, const QStringList& actions, Kind kind,
              const QString& path);

    QDBusConnection bus_;
    const std::shared_ptr<FileReveal> reveal_;
    const Opener open_;
    // The notifications on show that have actions, by the id the server gave them.
    std::map<uint, QString> paths_;
    bool toldUnavailable_ = false;
};

} // namespace backreel
