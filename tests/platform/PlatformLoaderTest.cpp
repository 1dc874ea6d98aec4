#include "platform/CaptureStream.h"
#include "platform/FileReveal.h"
#include "platform/GlobalShortcuts.h"
#include "platform/MovieFile.h"
#include "platform/NotificationMuter.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/VideoEncoder.h"
#include "platform/WindowServer.h"

#include <gtest/gtest.h>

using namespace backreel;

// The manager and the save flow call every service unchecked, so the loader fills each one, with or
// without an X display; without one, the capture service answers with an error.
TEST(PlatformLoader, FillsEveryServiceWithAndWithoutADisplay) {
    const QByteArray display = qgetenv("DISPLAY");
    for (const bool withDisplay : {true, false}) {
        if (!withDisplay) {
            qunsetenv("DISPLAY");
        }
        const Platform platform = loadPlatform();
        EXPECT_TRUE(platform.capture && platform.encoders && platform.notifications &&
                    platform.windowServer && platform.movieFiles && platform.movieProbe &&
                    platform.fileReveal && platform.screenPictures && platform.shortcuts);
    }
    bool failed = false;
    loadPlatform().capture->getShareableContent(
        [&](Expected<ShareableContent> content) { failed = !content; });
    EXPECT_TRUE(failed);
    qputenv("DISPLAY", display);
}
