#include "platform/CaptureService.h"
#include "platform/FileReveal.h"
#include "platform/GlobalShortcuts.h"
#include "platform/MovieFile.h"
#include "platform/NotificationMuter.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/VideoEncoder.h"
#include "platform/WindowServer.h"
#include "support/Await.h"

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
        EXPECT_TRUE(platform.capture && platform.audio && platform.encoders && platform.notifications &&
                    platform.windowServer && platform.movieFiles && platform.movieProbe &&
                    platform.fileReveal && platform.screenPictures && platform.shortcuts);
    }
    EXPECT_FALSE(test::await(loadPlatform().capture->shareableContent()));
    qputenv("DISPLAY", display);
}

// BACKREEL_CAPTURE decides when set; a Wayland session otherwise gets the portal even where
// XWayland gives it an X display.
TEST(PlatformLoader, PicksThePortalInWaylandSessionsUnlessTold) {
    struct Case {
        SessionEnvironment session;
        CaptureBackend backend;
    };
    const QString wayland = QStringLiteral("wayland");
    const QString x11 = QStringLiteral("x11");
    const Case cases[] = {
        {{QString(), x11, false, true}, CaptureBackend::x11},
        {{QString(), wayland, false, true}, CaptureBackend::portal},
        {{QString(), QStringLiteral(" Wayland"), false, false}, CaptureBackend::portal},
        {{QString(), QString(), true, true}, CaptureBackend::portal},
        {{QString(), QStringLiteral("tty"), false, false}, CaptureBackend::none},
        {{QStringLiteral("x11"), wayland, true, true}, CaptureBackend::x11},
        {{QStringLiteral("PORTAL"), x11, false, true}, CaptureBackend::portal},
        {{QStringLiteral("something"), x11, false, true}, CaptureBackend::x11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(captureBackendFor(c.session), c.backend)
            << c.session.captureOverride.toStdString() << "/" << c.session.sessionType.toStdString();
    }
}

// Global shortcuts follow the capture, except that a Wayland session keeps the portal's: X11 grabs
// there see keys only while an XWayland window has the keyboard.
TEST(PlatformLoader, PicksThePortalsShortcutsInWaylandSessions) {
    const QString wayland = QStringLiteral("wayland");
    const QString x11 = QStringLiteral("x11");
    EXPECT_EQ(shortcutsBackendFor({QString(), x11, false, true}), CaptureBackend::x11);
    EXPECT_EQ(shortcutsBackendFor({QString(), wayland, true, true}), CaptureBackend::portal);
    EXPECT_EQ(shortcutsBackendFor({QStringLiteral("x11"), wayland, true, true}), CaptureBackend::portal);
    EXPECT_EQ(shortcutsBackendFor({QStringLiteral("portal"), x11, false, true}), CaptureBackend::portal);
    EXPECT_EQ(shortcutsBackendFor({QString(), QStringLiteral("tty"), false, false}), CaptureBackend::none);
}
