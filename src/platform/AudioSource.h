#pragma once

#include "core/Error.h"
#include "core/media/AudioChunk.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <QString>
#include <string>
#include <vector>

namespace backreel {

struct AudioFormat {
    std::int32_t sampleRate = 48000;
    std::int32_t channelCount = 2;
};

// What a source records.
struct AudioInput {
    enum class Kind {
        // What the desktop plays: the default output's monitor, following changes of the default.
        everything,
        // A microphone: the named input, or the default input when the name is empty.
        microphone,
        // What one application plays, by its program's name (the binary): each stream it plays,
        // the newest first, followed as the application stops and plays again.
        application,
    };
    Kind kind = Kind::everything;
    std::string name;

    friend bool operator==(const AudioInput&, const AudioInput&) = default;
};

// A microphone the audio server offers.
struct AudioDevice {
    std::string name;    // what AudioInput::name takes
    QString description; // "Built-in Audio Analog Stereo"
};

// An application playing sound now.
struct AudioApplication {
    std::string binary; // what AudioInput::name takes
    QString name;       // "Firefox"
    QString iconName;   // a theme icon's name; may be empty
};

// What the audio server offers to record, as of one moment.
struct AudioInventory {
    std::vector<AudioDevice> microphones;
    std::vector<AudioApplication> applications;
};

// Records what the desktop plays (the default output's monitor), following changes of the
// default output, and keeps at it while the audio server is away.
//
// Thread contract: start() and stop() on one thread (the recording's owner, the main thread); the handlers
// run on the source's own thread, one call at a time. The audio it is given (interleaved float32
// frames) may live in the audio server's memory and is valid only during the call, so a handler
// that keeps audio copies it. PTS are on the monotonic clock, like screen frames.
class AudioSource {
public:
    using AudioHandler = std::function<void(const AudioView& audio)>;
    // Told when the recording is lost, with the reason, and when it records again, with none.
    // The calls alternate, a loss first; nothing is told while all goes well.
    using StateHandler = std::function<void(const std::optional<Error>& lost)>;

    virtual ~AudioSource() = default;

    // Starts recording and keeps recording until stop(). When the audio server cannot be reached,
    // goes away or has no output to record, the state handler is told of the loss and the source
    // tries again, less and less often (after a quarter of a second at first, then every few
    // seconds), until it records again and says so. Audio after a loss is on the same clock as
    // before it: the time stamps leave a gap as long as the loss.
    //
    // Returns once the first attempt has recorded or failed; a failed first attempt has been told
    // to the state handler by then, and the retries go on. Fails only when the source cannot
    // record at all (a format it does not take, already started, no resources for a thread), and
    // then no handler runs.
    virtual MaybeError start(const AudioFormat& format, AudioHandler onAudio, StateHandler onState) = 0;
    // Ends the recording and any retry that is pending, promptly. After it returns no handler
    // runs again. Idempotent; also done by the destructor.
    virtual void stop() = 0;
};

class AudioService {
public:
    virtual ~AudioService() = default;
    virtual std::unique_ptr<AudioSource> makeSource(const AudioInput& input) = 0;
    // The microphones and the applications playing now. Blocks for as long as the server takes to
    // answer (a second at most); any thread but the main one.
    virtual Expected<AudioInventory> inventory() = 0;
};

} // namespace backreel
