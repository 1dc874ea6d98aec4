#pragma once

#include "platform/CaptureStream.h"
#include "platform/SystemAudio.h"

#include <memory>

namespace backreel {

// The system's audio of a capture stream, as every capture backend runs it: a source from the
// service that hands each piece of audio to the audio output's queue synchronously (its bytes are
// only valid during the source's handler). Audio that cannot start, or that the source loses,
// leaves the video running; the delegate is told of the loss, and of the audio's return, on the
// source's thread (or before this returns, when there is no audio to start).
//
// Returns the running source, or null when the configuration asks for no audio, there is no
// output, queue or service, or the audio could not start. Called on the stream owner's thread;
// the stream and the delegate must outlive the source.
std::unique_ptr<SystemAudioSource> startStreamAudio(CaptureStream& stream,
                                                    const StreamConfiguration& configuration,
                                                    const std::shared_ptr<StreamOutput>& output,
                                                    SerialQueue* queue, SystemAudioService* service,
                                                    StreamDelegate* delegate);

} // namespace backreel
