#include "capture/CaptureSetup.h"

#include "capture/LastTarget.h"
#include "capture/VideoCompression.h"
#include "support/synthetic/SyntheticVideoEncoder.h"

#include <gtest/gtest.h>

using namespace backreel;

static Display display(std::uint32_t id, int width, int height) {
    return Display{id, width, height, QRectF(0, 0, width, height), QStringLiteral("VIRT-%1").arg(id)};
}

static ShareableContent content() {
    ShareableContent c;
    c.displays = {display(7, 1920, 1080), display(9, 1279, 1023)};
    c.applications = {RunningApplication{QStringLiteral("Terminal"), QStringLiteral("xterm"), 10},
                      RunningApplication{QStringLiteral("Backreel"), kApplicationID, 11},
                      RunningApplication{QStringLiteral("Backreel helper"), kApplicationID, 12}};
    return c;
}

TEST(CaptureSetup, DisplayTargetsTakeTheMainDisplayAndLeaveOurApplicationsOut) {
    const std::tuple<CaptureTarget, ShareableContent, std::uint32_t, std::optional<std::uint32_t>> rows[] = {
        {CaptureTarget::display(), content(), 9, 9u},
        {CaptureTarget::display(), content(), 1234, 7u},
        {CaptureTarget::display(), {}, 7, std::nullopt},
        {CaptureTarget::display(display(42, 800, 600)), {}, 7, 42u}, // as it is, even when not listed
    };
    for (const auto& [target, listed, main, chosen] : rows) {
        const auto resolved = resolveCapture(target, false, listed, main);
        EXPECT_EQ(resolved ? std::optional(resolved->filter.displayContent()->display.displayID)
                           : std::nullopt,
                  chosen);
    }
    const auto odd = resolveCapture(CaptureTarget::display(), false, content(), 9);
    EXPECT_TRUE(odd->width == 1279 && odd->height == 1023);

    auto resolved = resolveCapture(CaptureTarget::display(), false, content(), 7);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter.displayContent()->excludedApplications,
              (std::vector{content().applications[1], content().applications[2]}));
    EXPECT_TRUE(resolved->filter.displayContent()->exceptingWindows.empty());

    resolved = resolveCapture(CaptureTarget::region(QRectF(10, 10, 100, 100), display(7, 1920, 1080)), true,
                              content(), 7);
    EXPECT_TRUE(resolved->filter.displayContent()->excludedApplications.empty());
}

// A window is scaled into its frame's even size; a region is cut out of its display at its size.
TEST(CaptureSetup, WindowAndRegionSizesAndConfiguration) {
    Window window;
    window.windowID = 5;
    window.frame = QRectF(100, 100, 801.5, 600.2);
    const QRectF rect(5, 5, 1, 1);
    const std::tuple<CaptureTarget, int, int, std::optional<QRectF>, bool> rows[] = {
        {CaptureTarget::window(ContentFilter::window(window)), 802, 600, std::nullopt, true},
        {CaptureTarget::region(rect, display(9, 1279, 1023)), 2, 2, rect, false},
    };
    for (const auto& [target, width, height, sourceRect, scales] : rows) {
        const auto resolved = resolveCapture(target, false, content(), 7);
        ASSERT_TRUE(resolved);
        EXPECT_TRUE(resolved->width == width && resolved->height == height);
        const VideoSourceSettings settings = videoSourceSettings(*resolved);
        EXPECT_EQ(settings.sourceRect, sourceRect);
        EXPECT_EQ(settings.scalesToFit, scales);
    }
    EXPECT_EQ(
        resolveCapture(std::get<0>(rows[1]), false, content(), 7)->filter.displayContent()->display.displayID,
        9u);

    const std::pair<double, int> evens[] = {{1919.5, 1920}, {1919.4, 1918}, {801.5, 802}, {600.2, 600},
                                            {3, 2},         {0.4, 2},       {1, 2},       {-5, 2}};
    for (const auto& [size, even] : evens) {
        EXPECT_EQ(evenDimension(size), even) << size;
    }
}

TEST(CaptureSetup, TargetsTakeWhatTheDesktopsDialogChoseAndTheLastComesBackByItsDisplaysName) {
    Window window;
    window.windowID = 4;
    window.frame = QRectF(0, 0, 640, 480);
    const CaptureTarget windowTarget = CaptureTarget::window(ContentFilter::window(Window{}));
    ShareableContent displays;
    displays.displays = {display(5, 1280, 720)};
    ShareableContent windows;
    windows.windows = {window};
    const std::tuple<CaptureTarget, ContentKind, ShareableContent, CaptureTarget> rows[] = {
        {CaptureTarget::display(), ContentKind::display, displays,
         CaptureTarget::display(display(5, 1280, 720))},
        {CaptureTarget::region(QRectF(10, 20, 300, 200), display(1, 800, 600)), ContentKind::region, displays,
         CaptureTarget::region(QRectF(10, 20, 300, 200), display(5, 1280, 720))},
        {windowTarget, ContentKind::window, displays, windowTarget},
        {CaptureTarget::display(), ContentKind::display, windows, CaptureTarget::display()},
    };
    for (const auto& [target, kind, chosen, taken] : rows) {
        EXPECT_EQ(contentKindOf(target), kind);
        EXPECT_EQ(targetInChosenContent(target, chosen), taken);
    }
    const auto resolved = resolveCapture(targetInChosenContent(windowTarget, windows), false, windows, 0);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter.windowContent()->window.windowID, 4u);
    EXPECT_EQ(resolved->width, 640);

    // The last target comes back by its display's name.
    const std::vector<Display> known = content().displays;
    const Display& main = known[0];
    const Display& second = known[1];
    const QString windowGone = QStringLiteral("the last window cannot come back: recording its display");
    Window last;
    last.frame = QRectF(100, 100, 300, 200);
    const std::tuple<CaptureTarget, CaptureTarget, QString> restorations[] = {
        // recorded, restored, note
        {CaptureTarget::display(second), CaptureTarget::display(second), {}},
        {CaptureTarget::region(QRectF(10, 20, 300, 200), second),
         CaptureTarget::region(QRectF(10, 20, 300, 200), second),
         {}},
        {CaptureTarget::window(ContentFilter::window(last)), CaptureTarget::display(main), windowGone},
    };
    for (const auto& [recorded, target, note] : restorations) {
        const RestoredTarget restored = restoreTarget(lastTargetOf(recorded, known), known, main.displayID);
        EXPECT_TRUE(restored.target == target && restored.note == note) << note.toStdString();
    }
    const RestoredTarget gone = restoreTarget(lastTargetOf(CaptureTarget::display(second), known), {main}, 7);
    EXPECT_TRUE(gone.target == CaptureTarget::display(main) &&
                gone.note == QStringLiteral("the last display is gone: recording the main display"));
    EXPECT_EQ(restoreTarget(std::nullopt, known, 9).target, CaptureTarget::display(second));
}

// HEVC only where a hardware encoder opens (closed at once) and the codec is ours to choose; a key
// frame at least every half second, where clips may start.
TEST(VideoCompression, HevcOnlyWhereAHardwareEncoderOpensAndAKeyFrameEveryHalfSecond) {
    for (const auto& [hardware, choice] :
         {std::pair{false, CodecChoice::automatic}, std::pair{true, CodecChoice::automatic},
          std::pair{true, CodecChoice::h264}}) {
        SyntheticOptions options;
        options.hardwareHevcAvailable = hardware;
        auto state = std::make_shared<SyntheticState>(options);
        SyntheticVideoEncoderService service(state);
        const VideoCodec codec = chooseCodec(service, 1920, 1080, choice);
        const bool hevc = hardware && choice == CodecChoice::automatic;
        EXPECT_EQ(codec, hevc ? VideoCodec::hevc : VideoCodec::h264);
        if (choice == CodecChoice::h264) {
            EXPECT_TRUE(state->journal().empty()) << "nothing probed";
        } else {
            EXPECT_EQ(state->journal().back(), hardware ? "close" : "open HEVC hardware");
        }
        EXPECT_EQ(recordingEncoderSettings(codec, 1920, 1080).maxKeyFrameIntervalSeconds, 0.5);
    }
}
