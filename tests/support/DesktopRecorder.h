#pragma once

// The recorder on the real desktop with the real save flow, its dialog answered by the test and its
// clips kept; and a tone played on the desktop's sound server at a known moment.

#include "export/DesktopSaveFlow.h"
#include "platform/pulse/AudioTimeline.h"
#include "support/ChildProcess.h"
#include "support/SyntheticRecorder.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <pulse/simple.h>
#include <QTemporaryDir>
#include <QTest>

namespace backreel::test {

// Why this run cannot record the desktop: no virtual desktop, a tool missing, or ThreadSanitizer.
inline std::optional<std::string> desktopMissing(std::initializer_list<const char*> tools = {}) {
#if defined(__SANITIZE_THREAD__)
    return "not under ThreadSanitizer";
#endif
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        return "needs the virtual desktop (scripts/virtual-desktop)";
    }
    for (const char* tool : tools) {
        if (!installed(tool)) {
            return std::string(tool) + " is not installed";
        }
    }
    return std::nullopt;
}

#define BACKREEL_REQUIRE_DESKTOP(...)                                                                        \
    do {                                                                                                     \
        if (const std::optional<std::string> missing = backreel::test::desktopMissing({__VA_ARGS__})) {      \
            GTEST_SKIP() << *missing;                                                                        \
        }                                                                                                    \
    } while (false)

// Hands every clip to a real save flow and keeps it, in order, so files can be compared with it.
class KeepingSaveFlow final : public SaveFlow {
public:
    explicit KeepingSaveFlow(std::shared_ptr<SaveFlow> inner)
        : inner_(std::move(inner)) {}
    QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) override {
        clips.push_back(clip);
        QCoro::Task<RecordingStatus> saving = inner_->save(std::move(clip), std::move(request));
        co_return co_await saving;
    }
    std::vector<Clip> clips;

private:
    std::shared_ptr<SaveFlow> inner_;
};

// Its clips go to folder/clips.
struct DesktopRecorder {
    DesktopRecorder() { settings->setClipFolder(folder.filePath(QStringLiteral("clips"))); }
    // Starts buffering this region of the main display (the target unless given), or fails the test.
    void start(std::optional<QRectF> region = {}) {
        QCoro::waitFor(manager.refreshDisplays());
        if (region) {
            ASSERT_FALSE(manager.availableDisplays().empty());
            manager.setCaptureTarget(CaptureTarget::region(*region, manager.availableDisplays().front()));
        }
        QCoro::waitFor(manager.startRecording());
        ASSERT_EQ(manager.status(), RecordingStatus::buffering()) << manager.status().message().toStdString();
    }
    double bufferedSeconds() const {
        return manager.session() != nullptr ? manager.session()->videoStore().spanSeconds() : 0.0;
    }
    // Fails the test when the recording ends first, with the status that says why.
    void waitForBuffered(double seconds) {
        static_cast<void>(QTest::qWaitFor(
            [&] { return manager.session() == nullptr || bufferedSeconds() >= seconds; }, 30000));
        ASSERT_GE(bufferedSeconds(), seconds) << manager.status().message().toStdString();
    }

    QTemporaryDir folder;
    Platform platform = loadPlatform();
    std::shared_ptr<AnswerList> dialog = std::make_shared<AnswerList>();
    std::shared_ptr<KeepingSaveFlow> saveFlow =
        std::make_shared<KeepingSaveFlow>(std::make_shared<DesktopSaveFlow>(
            dialog, MovieWriterServices{platform.movieFiles, platform.movieProbe, platform.audioCodecs},
            nullptr));
    std::shared_ptr<RecorderSettings> settings = std::make_shared<RecorderSettings>();
    RecordingManager manager{platform, saveFlow, settings};
};

inline constexpr int kToneRate = 48000;
inline constexpr double kToneSeconds = 0.4;

// Plays kToneSeconds of a sine at half of full scale on the default output unless told which; once
// it is over, when its first sample was played, in frames of the monotonic clock at kToneRate.
inline std::optional<std::int64_t> playToneNow(double frequency = 440, const char* output = nullptr) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kToneRate, 2};
    pa_buffer_attr buffer{};
    buffer.maxlength = buffer.prebuf = buffer.minreq = buffer.fragsize = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(200000, &format));
    int error = 0;
    const std::unique_ptr<pa_simple, void (*)(pa_simple*)> stream(
        pa_simple_new(nullptr, "Backreel test", PA_STREAM_PLAYBACK, output, "Tone", &format, nullptr, &buffer,
                      &error),
        pa_simple_free);
    if (!stream) {
        return std::nullopt;
    }
    const auto frames = static_cast<std::int64_t>(kToneSeconds * kToneRate);
    std::vector<float> tone;
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        const auto value = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(frame) / kToneRate));
        tone.insert(tone.end(), {value, value});
    }
    // The write returns once the last of the tone is queued; it is heard the stream's latency later.
    if (pa_simple_write(stream.get(), tone.data(), tone.size() * sizeof(float), &error) < 0) {
        return std::nullopt;
    }
    const std::int64_t now = monotonicNowFrames(kToneRate);
    const pa_usec_t latency = pa_simple_get_latency(stream.get(), &error);
    if (latency == static_cast<pa_usec_t>(-1) || pa_simple_drain(stream.get(), &error) < 0) {
        return std::nullopt;
    }
    return now + framesForMicroseconds(latency, kToneRate) - frames;
}

} // namespace backreel::test
