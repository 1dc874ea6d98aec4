// What recording sound costs: the recorder's sound capture (PulseAudio, copied into the audio
// store) of the system sound alone, then with the microphone beside it, then with the sound of
// one application only, each for the same time; CPU seconds per second of this process, and the
// sound server's. A tone plays on the default output and another into the virtual desktop's
// microphone throughout, so that every stream carries sound.
//
// usage (under scripts/virtual-desktop): build/bench/sound [SECONDS]

#include "capture/AudioCapture.h"
#include "platform/ffmpeg/FfmpegAudioCodec.h"
#include "platform/pulse/PulseAudioService.h"

#include <chrono>
#include <cstdio>
#include <QProcess>
#include <string>
#include <sys/resource.h>
#include <thread>

using namespace backreel;

namespace {

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A tone on the output (empty: the default one) for the whole run, as the program `binary`.
void startTone(QProcess& player, double frequency, const QString& output, double seconds, const QString& binary) {
    const QString command =
        QStringLiteral("sox -n -r 48000 -c 2 -t raw -e float -b 32 - synth %1 sine %2 vol 0.3 | "
                       "PULSE_PROP='application.process.binary=%4' pacat --raw --format=float32le "
                       "--rate=48000 --channels=2 %3")
            .arg(seconds)
            .arg(frequency)
            .arg(output.isEmpty() ? QString() : QStringLiteral("--device=") + output, binary);
    player.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    player.waitForStarted();
}

void run(const char* name, const AudioInput& system, const std::optional<AudioInput>& microphone,
         double seconds) {
    const std::shared_ptr<MediaStores> stores =
        MediaStores::create(seconds + 1, MemoryLimit::defaultLimit(), Logger::recording());
    PulseAudioService service;
    AudioCapture systemSound(stores, AudioOrigin::system, Logger::recording());
    AudioCapture microphoneSound(stores, AudioOrigin::microphone, Logger::recording());
    const double before = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto codecs = std::make_shared<FfmpegAudioCodecService>();
    systemSound.start(&service, codecs, system, nullptr);
    if (microphone) {
        microphoneSound.start(&service, codecs, *microphone, nullptr);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    systemSound.stop();
    microphoneSound.stop();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-40s %6.4f CPU s/s  %6lld + %6lld pieces  %5.1f s of sound stored\n", name,
                (processCpuSeconds() - before) / elapsed, static_cast<long long>(systemSound.chunksIn()),
                static_cast<long long>(microphoneSound.chunksIn()), stores->audio()->spanSeconds());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::stod(argv[1]) : 30;
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "sound: PULSE_SERVER is not set; run under scripts/virtual-desktop\n");
        return 2;
    }
    QProcess output;
    QProcess spoken;
    startTone(output, 440, QString(), seconds * 3 + 5, QStringLiteral("tone"));
    startTone(spoken, 660, QStringLiteral("mic"), seconds * 3 + 5, QStringLiteral("voice"));
    std::printf("sound capture for %.0f s each, %u cores\n", seconds, std::thread::hardware_concurrency());
    run("system sound", {}, std::nullopt, seconds);
    run("system sound + microphone", {}, AudioInput{AudioInput::Kind::microphone, {}}, seconds);
    run("one application's sound", {AudioInput::Kind::application, "tone"}, std::nullopt, seconds);
    output.kill();
    spoken.kill();
    output.waitForFinished();
    spoken.waitForFinished();
    return 0;
}
