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

TEST(PlatformLoader, FillsEveryServiceAndPicksThePortalInWaylandSessionsUnlessTold) {
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

    // BACKREEL_CAPTURE decides when set; a Wayland session gets the portal, also for the shortcuts (X11
    // grabs see keys only while an XWayland window has them).
    const QString wayland = QStringLiteral("wayland");
    const QString x11 = QStringLiteral("x11");
    const std::tuple<SessionEnvironment, CaptureBackend, CaptureBackend> cases[] = {
        // session, capture, shortcuts
        {{QString(), x11, false, true}, CaptureBackend::x11, CaptureBackend::x11},
        {{QString(), wayland, false, true}, CaptureBackend::portal, CaptureBackend::portal},
        {{QString(), QStringLiteral(" Wayland"), false, false},
         CaptureBackend::portal,
         CaptureBackend::portal},
        {{QString(), QString(), true, true}, CaptureBackend::portal, CaptureBackend::portal},
        {{QString(), QStringLiteral("tty"), false, false}, CaptureBackend::none, CaptureBackend::none},
        {{QStringLiteral("x11"), wayland, true, true}, CaptureBackend::x11, CaptureBackend::portal},
        {{QStringLiteral("PORTAL"), x11, false, true}, CaptureBackend::portal, CaptureBackend::portal},
        {{QStringLiteral("something"), x11, false, true}, CaptureBackend::x11, CaptureBackend::x11},
    };
    for (const auto& [session, capture, shortcuts] : cases) {
        const std::string name =
            session.captureOverride.toStdString() + "/" + session.sessionType.toStdString();
        EXPECT_EQ(captureBackendFor(session), capture) << name;
        EXPECT_EQ(shortcutsBackendFor(session), shortcuts) << name;
    }
}
