#include "platform/CaptureStream.h"
#include "platform/FileReveal.h"
#include "platform/MovieFile.h"
#include "platform/NotificationMuter.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/VideoEncoder.h"
#include "platform/WindowServer.h"

#include <gtest/gtest.h>

using namespace backreel;

// The manager and the save flow call these services without checking, so the loader must fill
// every one, with or without an X display; without one, the capture service answers with an error
// instead of failing to connect.
TEST(PlatformLoader, FillsEveryServiceWithAndWithoutADisplay) {
    const QByteArray display = qgetenv("DISPLAY");
    for (const bool withDisplay : {true, false}) {
        if (!withDisplay) {
            qunsetenv("DISPLAY");
        }
        const Platform platform = loadPlatform();
        EXPECT_TRUE(platform.capture && platform.encoders && platform.notifications &&
                    platform.windowServer && platform.movieFiles && platform.movieProbe &&
                    platform.fileReveal && platform.screenPictures)
            << withDisplay;
    }
    bool answered = false;
    loadPlatform().capture->getShareableContent([&answered](Expected<ShareableContent> content) {
        answered = true;
        EXPECT_FALSE(content);
    });
    EXPECT_TRUE(answered);
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
    }
}
