#pragma once

#include "platform/CaptureStream.h"
#include "platform/SystemAudio.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace backreel::portal {
class PortalCast;
}

namespace backreel {

// Capture through the desktop's screen-cast portal and PipeWire, for Wayland sessions, where no
// application sees the screen or the other windows: the desktop's dialog chooses the display or
// window (chooseContent), and the chosen content names the cast that a stream then captures. The
// choice is remembered per kind of content (the portal's restore token in Settings), so the same
// choice starts again without the dialog. Nothing is listed by getShareableContent. The audio
// service may be null: then streams have no audio.
//
// Thread contract: chooseContent and createStream on the main thread; getShareableContent on any.
class PortalCaptureService final : public CaptureService {
public:
    explicit PortalCaptureService(std::shared_ptr<SystemAudioService> audio);

    void getShareableContent(ShareableContentCompletion completion) override;
    bool choosesContentInDialog() const override { return true; }
    void chooseContent(ContentKind kind, ShareableContentCompletion completion) override;
    std::shared_ptr<CaptureStream> createStream(const ContentFilter& filter,
                                                const StreamConfiguration& configuration,
                                                StreamDelegate* delegate) override;

    // The casts chosen and not yet taken by a stream; a new choice drops the ones before it.
    // Shared with the choices under way, which may outlive the service.
    struct Chosen {
        std::mutex mutex;
        std::map<std::uint32_t, std::shared_ptr<portal::PortalCast>> casts;
        std::uint32_t nextID = 1;
    };

private:
    const std::shared_ptr<SystemAudioService> audio_;
    const std::shared_ptr<Chosen> chosen_ = std::make_shared<Chosen>();
};

} // namespace backreel
