#pragma once

// What the tests that record from a real PulseAudio server need around them: the session's
// server, the helper programs, and a test tone played with sox and pacat.

#include "support/ChildProcess.h"

#include <chrono>
#include <optional>
#include <QStandardPaths>
#include <QString>
#include <string>

namespace backreel::test {

inline bool haveProgram(const QString& name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// The usual server is there when PULSE_SERVER is set and pactl can talk to it; otherwise why not.
inline std::optional<QString> sessionServerMissing() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        return QStringLiteral("PULSE_SERVER is not set; run the test under scripts/virtual-desktop");
    }
    if (!haveProgram(QStringLiteral("pactl"))) {
        return QStringLiteral("pactl is not installed");
    }
    if (!runProgram({"pactl", "info"})) {
        return QStringLiteral("cannot connect to the PulseAudio server at %1")
            .arg(qEnvironmentVariable("PULSE_SERVER"));
    }
    return std::nullopt;
}

// The peak of the test tone: half of full scale, so that a level check sees any gain or clipping.
inline constexpr double kTonePeak = 0.5;

// Plays a 440 Hz sine of kTonePeak (float stereo, 48 kHz) with sox and pacat. server empty for the
// usual one; returns once pacat has played it all.
inline bool playTone(double seconds, const std::string& server = {}) {
    std::string command = "sox -n -r 48000 -c 2 -t raw -e float -b 32 - synth " + std::to_string(seconds) +
                          " sine 440 vol " + std::to_string(kTonePeak) +
                          " | pacat --raw --format=float32le --rate=48000 --channels=2";
    if (!server.empty()) {
        command += " --server=" + server;
    }
    return runProgram({"/bin/sh", "-c", command}, nullptr,
                      std::chrono::milliseconds(static_cast<int>(seconds * 1000) + 10000));
}

} // namespace backreel::test
