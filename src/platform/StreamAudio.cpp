#include "platform/StreamAudio.h"

#include "core/dispatch/SerialQueue.h"
#include "core/log/Log.h"

namespace backreel {

std::unique_ptr<SystemAudioSource> startStreamAudio(CaptureStream& stream,
                                                    const StreamConfiguration& configuration,
                                                    const std::shared_ptr<StreamOutput>& output,
                                                    SerialQueue* queue, SystemAudioService* service,
                                                    StreamDelegate* delegate) {
    if (!configuration.capturesAudio || !output || queue == nullptr || service == nullptr) {
        return nullptr;
    }
    const Logger log = Logger::recording();
    // Video goes on without audio either way: the buffer is still worth having. The delegate says
    // so to the user, and again when the source has audio back.
    auto onState = [&stream, delegate, log](const std::optional<Error>& lost) {
        if (lost) {
            log.error(QStringLiteral("[Capture] System audio unavailable: %1").arg(lost->description));
        } else {
            log.info(QStringLiteral("[Capture] System audio is back"));
        }
        if (delegate != nullptr) {
            delegate->streamAudioDidChange(stream, lost);
        }
    };
    std::unique_ptr<SystemAudioSource> source = service->makeSource();
    if (!source) {
        onState(Error::backreel(0, QStringLiteral("There is no audio source.")));
        return nullptr;
    }
    // The audio is valid only during this call, so the output gets it before we return.
    auto onAudio = [&stream, output, queue](const AudioView& audio) {
        queue->sync([&] { output->didOutputAudio(stream, audio); });
    };
    const SystemAudioFormat format{configuration.sampleRate, configuration.channelCount};
    if (const MaybeError failure = source->start(format, std::move(onAudio), onState)) {
        onState(failure); // the source tries no more
        return nullptr;
    }
    return source;
}

} // namespace backreel
