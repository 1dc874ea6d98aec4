#include "app/RemoteControlService.h"

#include "app/CommandLine.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QTimer>

namespace backreel {

namespace {
Q_LOGGING_CATEGORY(remoteLog, "com.strandloft.Backreel.Remote")

// The start's own task: answers the call that asked for it once the start is over.
QCoro::Task<> startAndAnswer(RemoteControl& remote, QDBusConnection bus, QDBusMessage call) {
    QCoro::Task<std::optional<QString>> starting = remote.startRecording();
    const std::optional<QString> failure = co_await starting;
    bus.send(failure ? call.createErrorReply(RemoteControlService::kFailedError, *failure)
                     : call.createReply());
}
// The stop's own task: answers the call once the save is over.
QCoro::Task<> stopAndAnswer(RemoteControl& remote, QDBusConnection bus, QDBusMessage call) {
    QCoro::Task<Expected<QString>> stopping = remote.stopAndSaveAndWait();
    const Expected<QString> saved = co_await stopping;
    bus.send(saved ? call.createReply(saved.value())
                   : call.createErrorReply(RemoteControlService::kFailedError, saved.error().description));
}
} // namespace

RemoteControlService::RemoteControlService(RemoteControl& remote, QObject* parent)
    : QObject(parent)
    , remote_(remote) {
    connect(&remote_, &RemoteControl::statusChanged, this, &RemoteControlService::publishStatus);
}

RemoteControlService::~RemoteControlService() {
    if (bus_) {
        bus_->unregisterObject(kObjectPath);
        bus_->unregisterService(kServiceName);
    }
}

RemoteControlService::Claim RemoteControlService::claim(QDBusConnection bus) {
    if (!bus.isConnected() || bus.interface() == nullptr) {
        qCWarning(remoteLog).noquote()
            << "[Remote] No session bus; Backreel runs without remote control:" << bus.lastError().message();
        return Claim::noBus;
    }
    if (!bus.registerObject(kObjectPath, this,
                            QDBusConnection::ExportScriptableSlots |
                                QDBusConnection::ExportScriptableSignals |
                                QDBusConnection::ExportAllProperties)) {
        qCWarning(remoteLog).noquote() << "[Remote] Cannot put" << kObjectPath << "on the bus";
        return Claim::noBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(kObjectPath);
        if (!reply.isValid()) {
            qCWarning(remoteLog).noquote()
                << "[Remote] Cannot own" << kServiceName << ":" << reply.error().message();
            return Claim::noBus;
        }
        return Claim::taken;
    }
    bus_ = bus;
    qCInfo(remoteLog).noquote() << "[Remote] Listening as" << kServiceName;
    return Claim::owned;
}

void RemoteControlService::SaveClip() {
    answer(remote_.saveClip(std::nullopt));
}

void RemoteControlService::SaveClip(int seconds) {
    if (seconds < 0) {
        answer(QStringLiteral("The number of seconds to save cannot be negative (%1).").arg(seconds));
        return;
    }
    SaveClip(static_cast<uint>(seconds));
}

void RemoteControlService::SaveClip(uint seconds) {
    answer(remote_.saveClip(seconds == 0 ? std::nullopt : std::optional(std::chrono::seconds(seconds))));
}

void RemoteControlService::Mark(const QString& label) {
    answer(remote_.mark(label));
}

void RemoteControlService::SaveAroundMark(uint seconds) {
    answer(remote_.saveAroundMark(std::chrono::seconds(seconds == 0 ? kSecondsAroundMark : seconds)));
}

void RemoteControlService::Review() {
    answer(remote_.review());
}

void RemoteControlService::StartRecording() {
    setDelayedReply(true);
    startAndAnswer(remote_, connection(), message());
}

QString RemoteControlService::StopAndSave() {
    setDelayedReply(true);
    stopAndAnswer(remote_, connection(), message());
    return {};
}

void RemoteControlService::ShowWindow() {
    remote_.showWindow();
}

void RemoteControlService::Quit() {
    // The quit itself comes after the answer has gone out.
    answer(remote_.quit(false));
}

void RemoteControlService::QuitDiscardingUnsaved() {
    answer(remote_.quit(true));
}

void RemoteControlService::answer(const std::optional<QString>& refusal) {
    if (refusal) {
        sendErrorReply(kRefusedError, *refusal);
    }
}

void RemoteControlService::publishStatus() {
    const RemoteControl::Status status = remote_.status();
    emit StatusChanged(status.state, status.text);
    if (!bus_) {
        return;
    }
    QDBusMessage changed = QDBusMessage::createSignal(
        kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    changed << kInterface
            << QVariantMap{{QStringLiteral("State"), status.state},
                           {QStringLiteral("Status"), status.text},
                           {QStringLiteral("SavedFile"), status.savedFile}}
            << QStringList();
    bus_->send(changed);
}

} // namespace backreel
