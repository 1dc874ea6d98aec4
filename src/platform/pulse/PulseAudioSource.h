#pragma once

#include "platform/AudioSource.h"

#include <memory>
#include <string>

namespace backreel {

class PulseRecorder;

// Records what the input names from PulseAudio (PipeWire's PulseAudio server works too) as
// interleaved 32-bit float at the requested rate and channel count: the default sink's monitor,
// following the default sink when it changes; a microphone; or one application's sound. Audio arrives about every 10 ms on the source's own mainloop thread, as views
// straight into the server's memory: valid only during the handler call. Holes in the stream
// arrive as silence; PTS are CLOCK_MONOTONIC at the stream's sample rate. A lost recording is
// retried as AudioSource says, each attempt with a new connection to the server.
//
// Thread contract: as AudioSource. Handlers must not call stop() or destroy the source.
class PulseAudioSource final : public AudioSource {
public:
    // server: a PulseAudio server string such as "unix:/run/user/1000/pulse/native"; empty for
    // the usual one (PULSE_SERVER, then the client configuration). The daemon is never spawned.
    explicit PulseAudioSource(std::string server = {}, AudioInput input = {});
    ~PulseAudioSource() override;

    // Returns once the stream records (the first audio may arrive just before it returns), or
    // once the first attempt is lost, with the reason told to the state handler: the server's own
    // text, domain "PulseAudio". A missing or refusing server is lost at once, one that does not
    // answer after 3 s. Fails when the format does not have 1 to 8 channels, and while already
    // recording.
    MaybeError start(const AudioFormat& format, AudioHandler onAudio, StateHandler onState) override;
    void stop() override;

private:
    const std::string server_;
    const AudioInput input_;
    std::unique_ptr<PulseRecorder> recorder_;
};

} // namespace backreel
