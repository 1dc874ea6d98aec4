#include "app/RemoteClient.h"

#include "app/RemoteControlService.h"

#include <chrono>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>

namespace backreel {

namespace {
// A start waits for the capture and the encoder, which may take a few seconds on a slow machine.
constexpr int kCallTimeoutMs = 30'000;
constexpr std::chrono::seconds kQuitTimeout(10);

const QString kNotRunning = QStringLiteral("Backreel is not running. Start it first: backreel");
} // namespace

RemoteClient::RemoteClient(QDBusConnection bus, QTextStream& out, QTextStream& errors)
    : bus_(std::move(bus))
    , out_(out)
    , errors_(errors) {}

int RemoteClient::run(const CommandLine& command) {
    if (!bus_.isConnected()) {
        return fail(QStringLiteral("cannot reach the session bus (%1). %2")
                        .arg(bus_.lastError().message(), kNotRunning));
    }
    if (!instanceRuns()) {
        return fail(kNotRunning);
    }
    switch (command.action) {
    case CommandLine::Action::saveClip:
        return command.seconds
                   ? call(QStringLiteral("SaveClip"), {static_cast<uint>(command.seconds->count())})
                   : call(QStringLiteral("SaveClip"));
    case CommandLine::Action::start:
        return call(QStringLiteral("StartRecording"));
    case CommandLine::Action::stopAndSave:
        return call(QStringLiteral("StopAndSave"));
    case CommandLine::Action::status:
        return printStatus();
    case CommandLine::Action::quit:
        return quit();
    case CommandLine::Action::run:
    case CommandLine::Action::help:
    case CommandLine::Action::version:
    case CommandLine::Action::invalid:
        break;
    }
    return fail(QStringLiteral("nothing to send"));
}

bool RemoteClient::showWindow() {
    return bus_.isConnected() && call(QStringLiteral("ShowWindow")) == 0;
}

int RemoteClient::call(const QString& method, const QVariantList& arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(RemoteControlService::kServiceName, RemoteControlService::kObjectPath,
                                       RemoteControlService::kInterface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
            return fail(kNotRunning);
        }
        return fail(reply.errorMessage());
    }
    return 0;
}

int RemoteClient::printStatus() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        RemoteControlService::kServiceName, RemoteControlService::kObjectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << RemoteControlService::kInterface;
    const QDBusReply<QVariantMap> reply = bus_.call(message, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        return fail(reply.error().message());
    }
    const QVariantMap properties = reply.value();
    // "state: status line", then the saved file on a line of its own.
    out_ << properties.value(QStringLiteral("State")).toString() << ": "
         << properties.value(QStringLiteral("Status")).toString() << '\n';
    const QString savedFile = properties.value(QStringLiteral("SavedFile")).toString();
    if (!savedFile.isEmpty()) {
        out_ << savedFile << '\n';
    }
    out_.flush();
    return 0;
}

int RemoteClient::quit() {
    if (const int status = call(QStringLiteral("Quit")); status != 0) {
        return status;
    }
    // Done once the name is free again, so that a new Backreel can start right after.
    const QDeadlineTimer deadline(kQuitTimeout);
    while (instanceRuns()) {
        if (deadline.hasExpired()) {
            return fail(QStringLiteral("Backreel was asked to quit and will once its save is over."));
        }
        QThread::msleep(20);
    }
    return 0;
}

bool RemoteClient::instanceRuns() {
    if (bus_.interface() == nullptr) {
        return false;
    }
    const QDBusReply<bool> registered =
        bus_.interface()->isServiceRegistered(RemoteControlService::kServiceName);
    return registered.isValid() && registered.value();
}

int RemoteClient::fail(const QString& message) {
    errors_ << "backreel: " << message << '\n';
    errors_.flush();
    return 1;
}

} // namespace backreel
