#pragma once

#include "platform/CaptureStream.h"
#include "platform/SystemAudio.h"

#include <memory>

namespace backreel {

// Capture on an X11 display: shareable content from RandR and the window manager's client list,
// streams that grab the screen with MIT-SHM (X11CaptureStream). The audio service may be null:
// then streams have no audio.
//
// Thread contract: any thread. getShareableContent works on a thread of its own (a connection and
// a few pipelined round trips) and completes there.
class X11CaptureService final : public CaptureService {
public:
    explicit X11CaptureService(std::shared_ptr<SystemAudioService> audio)
        : audio_(std::move(audio)) {}

    void getShareableContent(ShareableContentCompletion completion) override;
    std::shared_ptr<CaptureStream> createStream(const ContentFilter& filter,
                                                const StreamConfiguration& configuration,
                                                StreamDelegate* delegate) override;

private:
    std::shared_ptr<SystemAudioService> audio_;
};

} // namespace backreel
