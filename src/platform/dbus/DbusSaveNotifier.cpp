#include "platform/dbus/DbusSaveNotifier.h"

#include "platform/dbus/NotificationServer.h"
#include "core/log/Log.h"

#include <cmath>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

namespace backreel {

namespace {
using notification_server::kDesktopEntry;
using notification_server::kInterface;
using notification_server::kPath;
const QString kOpenAction = QStringLiteral("open");
const QString kShowInFolderAction = QStringLiteral("show-in-folder");
using notification_server::kReplyTimeoutMs;

void openWithDesktop(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
} // namespace

QString clipLengthText(double seconds) {
    const long long whole = std::llround(std::max(seconds, 0.0));
    const long long minutes = whole / 60;
    const long long rest = whole % 60;
    if (minutes == 0) {
        return QStringLiteral("%1 s").arg(rest);
    }
    return rest == 0 ? QStringLiteral("%1 min").arg(minutes)
                     : QStringLiteral("%1 min %2 s").arg(minutes).arg(rest);
}

DbusSaveNotifier::DbusSaveNotifier(std::shared_ptr<FileReveal> reveal, Opener open,
                                   const QDBusConnection& bus)
    : bus_(bus)
    , reveal_(std::move(reveal))
    , open_(open ? std::move(open) : Opener(openWithDesktop)) {
    // Whoever owns the name now or later: the server may start after us, or be replaced.
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
}

DbusSaveNotifier::~DbusSaveNotifier() = default;

void DbusSaveNotifier::notifySaved(const QString& path, double seconds) {
    send(QStringLiteral("Clip saved"),
         QStringLiteral("%1 — %2").arg(QFileInfo(path).fileName(), clipLengthText(seconds)),
         {kOpenAction, QStringLiteral("Open"), kShowInFolderAction, QStringLiteral("Show in Folder")},
         Kind::saved, path);
}

void DbusSaveNotifier::notifyFailed(const QString& message) {
    send(QStringLiteral("Clip not saved"), message, {}, Kind::failed, QString());
}

void DbusSaveNotifier::notifyMarked(const QString& label) {
    // Servers read the body as markup; a label is plain text.
    send(QStringLiteral("Marker set"), label.toHtmlEscaped(), {}, Kind::marked, QString());
}

void DbusSaveNotifier::send(const QString& summary, const QString& body, const QStringList& actions,
                            Kind kind, const QString& path) {
    if (!bus_.isConnected()) {
        return;
    }
    QDBusMessage call = notification_server::methodCall(QStringLiteral("Notify"));
    const bool critical = kind == Kind::failed;
    QVariantMap hints{
        {QStringLiteral("desktop-entry"), kDesktopEntry},
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(critical ? 2 : 1)},
    };
    if (kind == Kind::marked) {
        hints.insert(QStringLiteral("transient"), true);
    } else {
        hints.insert(QStringLiteral("category"),
                     critical ? QStringLiteral("transfer.error") : QStringLiteral("transfer.complete"));
    }
    call << QStringLiteral("Backreel") << 0U << kDesktopEntry << summary << body << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, path, summary] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            if (!std::exchange(toldUnavailable_, true)) {
                Logger::recording().info(
                    QStringLiteral("[Notifications] No notification server took \"%1\": %2")
                        .arg(summary, reply.error().message()));
            }
            return;
        }
        if (!path.isEmpty()) {
            paths_[reply.value()] = path;
        }
    });
}

void DbusSaveNotifier::actionInvoked(uint id, const QString& action) {
    const auto found = paths_.find(id);
    if (found == paths_.end()) {
        return; // another application's notification, or one of ours without actions
    }
    const QString path = found->second;
    if (action == kOpenAction) {
        open_(path);
    } else if (action == kShowInFolderAction && reveal_) {
        reveal_->reveal(path);
    }
}

void DbusSaveNotifier::notificationClosed(uint id, uint) {
    paths_.erase(id);
}

} // namespace backreel
