#include "platform/pulse/PulseAudioSource.h"

#include "platform/pulse/PulseAudioFormat.h"
#include "platform/pulse/PulseRecorder.h"

#include <chrono>

namespace backreel {

namespace {
// Connecting, finding the default sink and setting up the stream take a few milliseconds on a
// local server; a server that accepts the connection and then does not answer must not hang
// the capture start, nor a retry.
constexpr auto kAttemptDeadline = std::chrono::milliseconds(3000);
} // namespace

PulseAudioSource::PulseAudioSource(std::string server, AudioInput input)
    : server_(std::move(server))
    , input_(std::move(input)) {}

PulseAudioSource::~PulseAudioSource() {
    stop();
}

MaybeError PulseAudioSource::start(const AudioFormat& format, AudioHandler onAudio,
                                   StateHandler onState) {
    if (recorder_) {
        return Error(QStringLiteral("The system audio is already being recorded."));
    }
    if (MaybeError invalid = checkAudioFormat(format)) {
        return invalid;
    }
    auto recorder =
        std::make_unique<PulseRecorder>(server_, input_, format, std::move(onAudio), std::move(onState));
    if (MaybeError failed = recorder->start(kAttemptDeadline)) {
        return failed; // the recorder's destructor stops whatever did start
    }
    recorder_ = std::move(recorder);
    return std::nullopt;
}

void PulseAudioSource::stop() {
    recorder_.reset();
}

} // namespace backreel
