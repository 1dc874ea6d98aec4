#include "support/synthetic/SyntheticPlatform.h"

#include "platform/null/NullGlobalShortcuts.h"
#include "platform/null/NullScreenPictureService.h"
#include "support/synthetic/SyntheticAudioCodec.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/synthetic/SyntheticVideoEncoder.h"

namespace backreel {

Platform makeSyntheticPlatform(const std::shared_ptr<SyntheticState>& state) {
    Platform platform;
    platform.capture = std::make_shared<SyntheticCaptureService>(state);
    platform.audio = std::make_shared<SyntheticAudioService>(state);
    platform.audioCodecs = std::make_shared<SyntheticAudioCodecService>();
    platform.encoders = std::make_shared<SyntheticVideoEncoderService>(state);
    platform.notifications = std::make_shared<SyntheticNotificationMuter>(state);
    platform.windowServer = std::make_shared<SyntheticWindowServer>(state);
    platform.screenPictures = std::make_shared<NullScreenPictureService>();
    platform.shortcuts = std::make_shared<NullGlobalShortcuts>(QStringLiteral("No shortcuts in tests."));
    return platform;
}

} // namespace backreel
