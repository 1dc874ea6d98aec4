#include "platform/CaptureStream.h"
#include "platform/FileReveal.h"
#include "platform/MovieFile.h"
#include "platform/NotificationMuter.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/VideoEncoder.h"
#include "platform/WindowServer.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace backreel;

namespace {
void expectEveryService(const Platform& platform) {
    EXPECT_TRUE(platform.capture);
    EXPECT_TRUE(platform.encoders);
    EXPECT_TRUE(platform.notifications);
    EXPECT_TRUE(platform.windowServer);
    EXPECT_TRUE(platform.movieFiles);
    EXPECT_TRUE(platform.movieProbe);
    EXPECT_TRUE(platform.fileReveal);
    EXPECT_TRUE(platform.screenPictures);
}
} // namespace

// The manager and the save flow call these services without checking, so the loader must fill
// every one, with or without an X display.
TEST(PlatformLoader, FillsEveryServiceWithAndWithoutADisplay) {
    expectEveryService(loadPlatform());

    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const Platform headless = loadPlatform();
    expectEveryService(headless);
    // Without a display the capture service answers with an error instead of failing to connect.
    bool answered = false;
    headless.capture->getShareableContent([&answered](Expected<ShareableContent> content) {
        answered = true;
        EXPECT_FALSE(content);
    });
    EXPECT_TRUE(answered);
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
    }
}
