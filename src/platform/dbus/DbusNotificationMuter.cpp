#include "platform/dbus/DbusNotificationMuter.h"

#include "platform/dbus/GsettingsCommand.h"
#include "platform/dbus/NotificationMuteRules.h"
#include "platform/dbus/NotificationServer.h"
#include "core/log/Log.h"

#include <optional>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>
#include <utility>

namespace backreel {

namespace {

using notification_server::kDesktopEntry;
const QString kReason = QStringLiteral("Recording the screen");
const QString kBannersSchema = QStringLiteral("org.gnome.desktop.notifications");
const QString kBannersKey = QStringLiteral("show-banners");

using notification_server::kReplyTimeoutMs;

QDBusMessage notificationsCall(const QString& method) {
    QDBusMessage message = notification_server::methodCall(method);
    // Only a server that already runs is asked: starting one just to silence it makes no sense.
    message.setAutoStartService(false);
    return message;
}

// Calls handler with the finished call once its answer (or error) is in. The watcher deletes
// itself, so the handler runs even when whoever made the call is gone.
template <typename Handler> void whenAnswered(const QDBusPendingCall& call, Handler handler) {
    auto* watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, handler] {
        watcher->deleteLater();
        handler(static_cast<const QDBusPendingCall&>(*watcher));
    });
}

void logInfo(const QString& text) {
    Logger::recording().info(text);
}

void logError(const QString& text) {
    Logger::recording().error(text);
}

} // namespace

DesktopSession DesktopSession::fromEnvironment() {
    return DesktopSession{qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                          QStandardPaths::findExecutable(QStringLiteral("gsettings"))};
}

// The muter's state. The answers still on their way share it, so they can finish what was asked
// after the muter itself is gone (an inhibition granted after the muter died is released at once).
// Main thread.
class DbusNotificationMuter::Core : public std::enable_shared_from_this<Core> {
public:
    Core(QDBusConnection bus, DesktopSession session)
        : bus_(std::move(bus))
        , session_(std::move(session)) {}

    void mute() {
        if (wantMuted_) {
            return;
        }
        wantMuted_ = true;
        muteTried_ = false;
        settle();
    }

    void unmute() {
        if (!wantMuted_) {
            return;
        }
        wantMuted_ = false;
        settle();
    }

    // The muter is being destroyed: lift the mute, now or once the step under way has finished.
    void abandon() {
        abandoned_ = true;
        unmute();
    }

private:
    enum class Hold { Nothing, Inhibition, GnomeBanners };

    // Brings what we hold in line with what was asked last, unless a step is under way (its end
    // settles again).
    void settle() {
        if (busy_) {
            return;
        }
        if (wantMuted_ && !muteTried_ && hold_ == Hold::Nothing) {
            startMute();
        } else if (!wantMuted_ && hold_ != Hold::Nothing) {
            release();
        }
    }

    void finishStep() {
        busy_ = false;
        settle();
    }

    void startMute() {
        // Tried once per mute asked for: a mute that failed is not retried until the next one.
        muteTried_ = true;
        busy_ = true;
        if (!bus_.isConnected()) {
            // No session bus: no notification server to ask, and no dconf to hold GNOME's setting.
            sayUnavailable();
            finishStep();
            return;
        }
        // The server ties an inhibition to our bus connection and drops it by itself if our
        // process dies, so a crash while recording cannot leave notifications off.
        QDBusMessage message = notificationsCall(QStringLiteral("Inhibit"));
        message << kDesktopEntry << kReason << QVariantMap();
        whenAnswered(
            bus_.asyncCall(message, kReplyTimeoutMs),
            [self = shared_from_this()](const QDBusPendingCall& call) { self->inhibitAnswered(call); });
    }

    void inhibitAnswered(const QDBusPendingCall& call) {
        const QDBusPendingReply<uint> reply = call;
        if (!reply.isError()) {
            cookie_ = reply.value();
            hold_ = Hold::Inhibition;
            logInfo(QStringLiteral("[Notifications] Muted through org.freedesktop.Notifications.Inhibit"));
            finishStep();
            return;
        }
        const QDBusError error = reply.error();
        if (inhibitionNotOffered(error.name())) {
            Logger::recording().debug(
                QStringLiteral("[Notifications] No inhibition on the bus: %1").arg(error.name()));
            muteGnomeBannersOrGiveUp();
            return;
        }
        logError(QStringLiteral("[Notifications] Could not mute: %1").arg(error.message()));
        finishStep();
    }

    void muteGnomeBannersOrGiveUp() {
        if (!isGnomeDesktop(session_.currentDesktop) || session_.gsettingsProgram.isEmpty()) {
            sayUnavailable();
            finishStep();
            return;
        }
        runGsettingsCommand(
            session_.gsettingsProgram, {QStringLiteral("get"), kBannersSchema, kBannersKey},
            [self = shared_from_this()](const GsettingsOutcome& outcome) { self->bannersRead(outcome); });
    }

    // Once per muter, and the application makes one: a line per recording would only repeat it.
    void sayUnavailable() {
        if (!toldUnavailable_) {
            toldUnavailable_ = true;
            logInfo(
                QStringLiteral("[Notifications] This desktop's notification server offers no way to mute it; "
                               "notifications stay on"));
        }
    }

    void bannersRead(const GsettingsOutcome& outcome) {
        if (!outcome.succeeded) {
            logError(QStringLiteral("[Notifications] Could not mute: %1").arg(outcome.failure));
            finishStep();
            return;
        }
        const std::optional<bool> shown = parseGsettingsBoolean(outcome.output);
        if (!shown) {
            logError(QStringLiteral("[Notifications] Could not mute: gsettings gave show-banners as \"%1\"")
                         .arg(QString::fromLocal8Bit(outcome.output.trimmed())));
            finishStep();
            return;
        }
        if (!*shown) {
            // The user keeps banners off already; we change nothing, so there is nothing to restore.
            logInfo(QStringLiteral(
                "[Notifications] GNOME's notification banners are already off; left as they are"));
            finishStep();
            return;
        }
        if (!wantMuted_) {
            // Unmuted while we were reading: nothing has changed yet, so nothing needs to.
            Logger::recording().debug(
                QStringLiteral("[Notifications] Unmuted before GNOME's banners were switched off"));
            finishStep();
            return;
        }
        runGsettingsCommand(session_.gsettingsProgram,
                            {QStringLiteral("set"), kBannersSchema, kBannersKey, QStringLiteral("false")},
                            [self = shared_from_this()](const GsettingsOutcome& switched) {
                                self->bannersSwitchedOff(switched);
                            });
    }

    void bannersSwitchedOff(const GsettingsOutcome& outcome) {
        if (!outcome.succeeded) {
            logError(QStringLiteral("[Notifications] Could not mute: %1").arg(outcome.failure));
        } else {
            hold_ = Hold::GnomeBanners;
            logInfo(QStringLiteral("[Notifications] Muted through GNOME's show-banners setting"));
        }
        finishStep();
    }

    void release() {
        switch (std::exchange(hold_, Hold::Nothing)) {
        case Hold::Inhibition:
            releaseInhibition();
            break;
        case Hold::GnomeBanners:
            restoreGnomeBanners();
            break;
        case Hold::Nothing:
            break;
        }
    }

    void releaseInhibition() {
        QDBusMessage message = notificationsCall(QStringLiteral("UnInhibit"));
        message << cookie_;
        // Nothing waits for this answer: the bus delivers our calls in the order we make them, so a
        // mute that follows cannot overtake it.
        whenAnswered(bus_.asyncCall(message, kReplyTimeoutMs), [](const QDBusPendingCall& call) {
            if (call.isError()) {
                logError(QStringLiteral("[Notifications] Could not unmute: %1").arg(call.error().message()));
            } else {
                logInfo(QStringLiteral("[Notifications] Unmuted"));
            }
        });
    }

    // We switch banners off only when they were on, so restoring means switching them on.
    void restoreGnomeBanners() {
        const QStringList arguments = {QStringLiteral("set"), kBannersSchema, kBannersKey,
                                       QStringLiteral("true")};
        if (abandoned_) {
            // The application may be on its way out, with no event loop left to hear an answer.
            if (QProcess::startDetached(session_.gsettingsProgram, arguments)) {
                logInfo(QStringLiteral("[Notifications] Unmuted through GNOME's show-banners setting"));
            } else {
                logError(QStringLiteral("[Notifications] Could not unmute: gsettings could not be started"));
            }
            return;
        }
        // A mute asked for meanwhile waits, so that it reads the restored value.
        busy_ = true;
        runGsettingsCommand(
            session_.gsettingsProgram, arguments,
            [self = shared_from_this()](const GsettingsOutcome& outcome) {
                if (outcome.succeeded) {
                    logInfo(QStringLiteral("[Notifications] Unmuted through GNOME's show-banners setting"));
                } else {
                    logError(QStringLiteral("[Notifications] Could not unmute: %1").arg(outcome.failure));
                }
                self->finishStep();
            });
    }

    const QDBusConnection bus_;
    const DesktopSession session_;
    bool wantMuted_ = false;
    bool muteTried_ = false;
    // A mute, or a restore of GNOME's setting, is under way; other changes wait for its end.
    bool busy_ = false;
    bool abandoned_ = false;
    Hold hold_ = Hold::Nothing;
    uint cookie_ = 0;
    bool toldUnavailable_ = false;
};

DbusNotificationMuter::DbusNotificationMuter(const QDBusConnection& bus, DesktopSession session)
    : core_(std::make_shared<Core>(bus, std::move(session))) {}

DbusNotificationMuter::~DbusNotificationMuter() {
    core_->abandon();
}

void DbusNotificationMuter::postMute() {
    core_->mute();
}

void DbusNotificationMuter::postUnmute() {
    core_->unmute();
}

} // namespace backreel
