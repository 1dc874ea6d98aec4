#include "app/RemoteClient.h"

#include "app/RemoteControlService.h"

#include <chrono>
#include <limits>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>

namespace backreel {

namespace {
// Commands that answer at once; a slow machine may take a few seconds.
constexpr int kCallTimeoutMs = 30'000;
// A start or a stop may wait for the user in the desktop's dialog or the save dialog: no time
// limit while the instance lives (the bus answers for it when it goes away).
constexpr int kNoTimeLimit = std::numeric_limits<int>::max();
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
    case CommandLine::Action::mark:
        return call(QStringLiteral("Mark"), {command.label});
    case CommandLine::Action::saveAroundMark:
        return call(QStringLiteral("SaveAroundMark"),
                    {static_cast<uint>(command.seconds ? command.seconds->count() : 0)});
    case CommandLine::Action::review:
        return call(QStringLiteral("Review"));
    case CommandLine::Action::start:
        return start();
    case CommandLine::Action::stopAndSave:
        return stopAndSave();
    case CommandLine::Action::status:
        return printStatus();
    case CommandLine::Action::quit:
        return quit(command.discardUnsaved);
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
    return failureOf(callFor(method, arguments, kCallTimeoutMs));
}

QDBusMessage RemoteClient::callFor(const QString& method, const QVariantList& arguments, int timeoutMs) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(RemoteControlService::kServiceName, RemoteControlService::kObjectPath,
                                       RemoteControlService::kInterface, method);
    message.setArguments(arguments);
    return bus_.call(message, QDBus::Block, timeoutMs);
}

int RemoteClient::failureOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage) {
        return 0;
    }
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
        return fail(kNotRunning);
    }
    return fail(reply.errorMessage());
}

int RemoteClient::start() {
    if (const int status = failureOf(callFor(QStringLiteral("StartRecording"), {}, kNoTimeLimit));
        status != 0) {
        return status;
    }
    // What the status line says now: "Recording…", and a note such as a lost sound.
    return printStatus(StatusLine::titleOnly);
}

int RemoteClient::stopAndSave() {
    const QDBusMessage reply = callFor(QStringLiteral("StopAndSave"), {}, kNoTimeLimit);
    if (const int status = failureOf(reply); status != 0) {
        return status;
    }
    out_ << reply.arguments().value(0).toString() << '\n';
    out_.flush();
    return 0;
}

int RemoteClient::printStatus(StatusLine line) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        RemoteControlService::kServiceName, RemoteControlService::kObjectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << RemoteControlService::kInterface;
    const QDBusReply<QVariantMap> reply = bus_.call(message, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        return fail(reply.error().message());
    }
    const QVariantMap properties = reply.value();
    if (line == StatusLine::titleOnly) {
        out_ << properties.value(QStringLiteral("Status")).toString() << '\n';
        out_.flush();
        return 0;
    }
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

int RemoteClient::quit(bool discardUnsaved) {
    if (const int status =
            call(discardUnsaved ? QStringLiteral("QuitDiscardingUnsaved") : QStringLiteral("Quit"));
        status != 0) {
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
