#pragma once

#include "platform/pulse/PulseTestEnvironment.h"
#include "support/ChildProcess.h"

#include <chrono>
#include <optional>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace backreel::test {

// A PulseAudio daemon of the test's own with one null sink, so tests can change the default
// sink or kill the server without disturbing anything else that shares the session's server.
class PrivatePulseServer {
public:
    PrivatePulseServer() = default;
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    // Starts the daemon with a 48 kHz stereo null sink called sinkName as the default sink; the
    // reason when that cannot be done.
    std::optional<QString> start(const std::string& sinkName) {
        if (!haveProgram(QStringLiteral("pulseaudio")) || !haveProgram(QStringLiteral("pactl"))) {
            return QStringLiteral("pulseaudio or pactl is not installed");
        }
        if (!dir_.isValid()) {
            return QStringLiteral("no temporary folder");
        }
        // Every bit of the daemon's state in our folder, none of the session's (env execs it, so
        // the process is the daemon's own).
        const std::string dir = dir_.path().toStdString();
        const bool started = daemon_.start(
            {"env",
             "-u",
             "PULSE_SERVER",
             "-u",
             "PULSE_CONFIG_PATH",
             "-u",
             "PULSE_CLIENTCONFIG",
             "-u",
             "DBUS_SESSION_BUS_ADDRESS",
             "XDG_RUNTIME_DIR=" + dir,
             "PULSE_RUNTIME_PATH=" + dir,
             "PULSE_STATE_PATH=" + dir + "/state",
             "HOME=" + dir,
             "XDG_CONFIG_HOME=" + dir,
             "XDG_CACHE_HOME=" + dir,
             "pulseaudio",
             "-n",
             "--daemonize=no",
             "--exit-idle-time=-1",
             "--disallow-exit",
             "--use-pid-file=no",
             "--log-target=stderr",
             "-L",
             "module-native-protocol-unix socket=" + socketPath() + " auth-anonymous=1 auth-cookie-enabled=0",
             "-L",
             "module-null-sink sink_name=" + sinkName + " rate=48000 channels=2 norewinds=1"},
            dir + "/pulseaudio.log");
        if (!started) {
            return QStringLiteral("pulseaudio did not start");
        }
        const bool up =
            waitUntil([&] { return pactl({"info"}) || !daemon_.running(); }, std::chrono::seconds(10));
        if (!daemon_.running()) {
            return QStringLiteral("pulseaudio exited during startup");
        }
        return up ? std::nullopt : std::optional<QString>(QStringLiteral("pulseaudio did not come up"));
    }

    std::string server() const { return "unix:" + socketPath(); }

    // Runs pactl against this server; its output in output when asked for.
    bool pactl(const std::vector<std::string>& arguments, std::string* output = nullptr) const {
        std::vector<std::string> command = {"pactl", "--server=" + server()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return runProgram(command, output);
    }

    // The name of the source our one record stream reads from, or empty.
    QString recordedSource() const {
        std::string outputs;
        std::string sources;
        if (!pactl({"list", "short", "source-outputs"}, &outputs) ||
            !pactl({"list", "short", "sources"}, &sources)) {
            return {};
        }
        const QStringList output = QString::fromStdString(outputs)
                                       .trimmed()
                                       .split(QLatin1Char('\n'))
                                       .first()
                                       .split(QLatin1Char('\t'));
        if (output.size() < 2) {
            return {};
        }
        for (const QString& line : QString::fromStdString(sources).trimmed().split(QLatin1Char('\n'))) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            if (fields.size() >= 2 && fields[0] == output[1]) {
                return fields[1];
            }
        }
        return {};
    }

    void kill() { daemon_.kill(); }

private:
    std::string socketPath() const { return dir_.filePath(QStringLiteral("native")).toStdString(); }

    QTemporaryDir dir_;
    ChildProcess daemon_; // declared after the folder, so it goes first
};

} // namespace backreel::test
