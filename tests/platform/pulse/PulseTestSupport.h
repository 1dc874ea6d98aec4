#pragma once

// A collector of what a source hands over, a PulseAudio server of the test's own, and a tone.

#include "platform/AudioSource.h"
#include "platform/pulse/AudioTimeline.h"
#include "support/ChildProcess.h"

#include <mutex>
#include <optional>
#include <QString>
#include <QTemporaryDir>

namespace backreel::test {

struct ReceivedAudio {
    AudioChunk chunk;
    MediaTime
        receivedAt; // CLOCK_MONOTONIC when it arrived, read here rather than through the code under test
};

// Keeps copies of the audio a source hands over, and the losses and returns it reports. Any thread.
class AudioCollector {
public:
    // Copies the audio, which is valid only during the call; then pauses for handlerDelay.
    AudioSource::AudioHandler handler() {
        return [this](const AudioView& audio) {
            const auto since = std::chrono::steady_clock::now().time_since_epoch();
            const MediaTime now(std::chrono::duration_cast<std::chrono::microseconds>(since).count(),
                                1'000'000);
            if (std::optional<AudioChunk> chunk = copyAudio(audio)) {
                std::lock_guard lock(mutex_);
                frames_ += chunk->frameCount();
                received_.push_back({std::move(*chunk), now});
            }
            std::this_thread::sleep_for(handlerDelay);
        };
    }
    AudioSource::StateHandler stateHandler() {
        return [this](const std::optional<Error>& lost) {
            std::lock_guard lock(mutex_);
            states_.push_back(lost);
        };
    }
    bool waitForFrames(std::int64_t frames, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const std::int64_t target = totalFrames() + frames;
        return waitUntil([&] { return totalFrames() >= target; }, timeout);
    }

    std::vector<ReceivedAudio> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::vector<float> channel(std::size_t index) const {
        std::vector<float> values;
        for (const ReceivedAudio& audio : received()) {
            const std::span<const float> samples = audio.chunk.view();
            for (std::size_t i = index; i < samples.size();
                 i += static_cast<std::size_t>(audio.chunk.channels)) {
                values.push_back(samples[i]);
            }
        }
        return values;
    }
    std::int64_t totalFrames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    // What the state handler was told, in order: a loss, none for a return.
    std::vector<std::optional<Error>> states() const {
        std::lock_guard lock(mutex_);
        return states_;
    }

    std::chrono::milliseconds handlerDelay{}; // set before the audio starts: widens races with stop()

private:
    mutable std::mutex mutex_;
    std::vector<ReceivedAudio> received_;
    std::int64_t frames_ = 0;
    std::vector<std::optional<Error>> states_;
};

// The peak of the test tone: half of full scale, so that a level check sees any gain or clipping.
inline constexpr double kTonePeak = 0.5;

// Starts a sine of kTonePeak on the server's default sink, as the program `binary`, without waiting.
inline bool startPlayer(ChildProcess& player, double frequency, const std::string& binary,
                        const std::string& server, double seconds = 6) {
    const std::string command =
        "exec env PULSE_PROP='application.process.binary=" + binary + " application.name=" + binary +
        "' sh -c 'sox -n -r 48000 -c 2 -t raw -e float " + "-b 32 - synth " + std::to_string(seconds) +
        " sine " + std::to_string(frequency) + " vol " + std::to_string(kTonePeak) +
        " | pacat --raw --format=float32le " + "--rate=48000 --channels=2 --server=" + server + "'";
    return player.start({"/bin/sh", "-c", command});
}

// A PulseAudio daemon of the test's own, with a null sink "first" as its default, to change or kill.
class PrivatePulseServer {
public:
    // Starts the daemon (again, after kill(), on the same socket); why it could not, if it could not.
    std::optional<std::string> start() {
        // All its state in our folder; it leaves ten seconds after its last client.
        const QString command = QStringLiteral(
            "exec env -u PULSE_SERVER -u PULSE_CONFIG_PATH -u PULSE_CLIENTCONFIG -u DBUS_SESSION_BUS_ADDRESS "
            "XDG_RUNTIME_DIR=%1 PULSE_RUNTIME_PATH=%1 PULSE_STATE_PATH=%1/state HOME=%1 XDG_CONFIG_HOME=%1 "
            "XDG_CACHE_HOME=%1 pulseaudio -n --daemonize=no --exit-idle-time=10 --disallow-exit "
            "--use-pid-file=no --log-target=stderr "
            "-L 'module-native-protocol-unix socket=%1/native auth-anonymous=1 auth-cookie-enabled=0' "
            "-L 'module-null-sink sink_name=first rate=48000 channels=2 norewinds=1'");
        if (!daemon_.start({"/bin/sh", "-c", command.arg(dir_.path()).toStdString()})) {
            return "pulseaudio did not start";
        }
        waitUntil([&] { return pactl({"info"}) || !daemon_.running(); }, std::chrono::seconds(10));
        return daemon_.running() && pactl({"info"})
                   ? std::nullopt
                   : std::optional<std::string>("pulseaudio did not come up");
    }

    std::string server() const { return "unix:" + dir_.filePath(QStringLiteral("native")).toStdString(); }
    bool pactl(const std::vector<std::string>& arguments, std::string* output = nullptr) const {
        std::vector<std::string> command = {"pactl", "--server=" + server()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return runProgram(command, output);
    }
    void kill() { daemon_.kill(); }

private:
    QTemporaryDir dir_;
    ChildProcess daemon_; // declared after the folder, so it goes first
};

} // namespace backreel::test
