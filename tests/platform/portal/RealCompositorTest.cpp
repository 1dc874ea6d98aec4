// The Wayland path against sway on a headless 1920 × 1080 output with xdg-desktop-portal-wlr, as
// scripts/real-compositor brings them up: seven colour bars over black, and a virtual mouse.

#include "core/Settings.h"
#include "overlay/TargetSelection.h"
#include "platform/portal/PortalRules.h"
#include "PortalTestSupport.h"
#include "support/DesktopRecorder.h"
#include "support/FfmpegTestMedia.h"

#include <QPainter>

namespace backreel::test {
namespace {

constexpr int kBarsBottom = 720; // the bars end here; black below

class RealCompositor : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString missing = qEnvironmentVariable("BACKREEL_COMPOSITOR_MISSING"); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        if (qEnvironmentVariable("BACKREEL_COMPOSITOR") != u"sway") {
            GTEST_SKIP() << "needs sway and its portal: run under scripts/real-compositor";
        }
        QImage screen(1920, 1080, QImage::Format_RGB32);
        screen.fill(Qt::black);
        QPainter painter(&screen);
        for (int bar = 0; bar < 7; ++bar) {
            painter.fillRect(
                QRect(QPoint(bar * 1920 / 7, 0), QPoint((bar + 1) * 1920 / 7 - 1, kBarsBottom - 1)),
                QColor::fromRgb(kBars[bar]));
        }
        painter.end();
        recorder_.emplace();
        // sway draws its background as a user of its own.
        const QString folder = recorder_->folder.path();
        QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ExeOther);
        const QString background = recorder_->folder.filePath(QStringLiteral("bars.png"));
        ASSERT_TRUE(screen.save(background));
        QFile::setPermissions(background, QFile::permissions(background) | QFile::ReadOther);
        std::string output;
        ASSERT_TRUE(runProgram({"swaymsg", "output", "HEADLESS-1", "bg", background.toStdString(), "stretch"},
                               &output))
            << output;
    }
    void TearDown() override { closeOverlays(); }

    // The last picture of the movie, as the ffmpeg tool decodes it, has these colours at these points.
    void expectLastPicture(const QString& movie, QSize size,
                           std::vector<std::pair<QPoint, std::uint32_t>> probes) {
        const QString path = movie + QStringLiteral(".png");
        std::string output;
        ASSERT_TRUE(runProgram({"ffmpeg", "-nostdin", "-v", "error", "-sseof", "-0.3", "-i",
                                movie.toStdString(), "-update", "1", "-y", path.toStdString()},
                               &output, std::chrono::seconds(30)))
            << output;
        const QImage picture(path);
        ASSERT_EQ(picture.size(), size);
        for (const auto& [point, colour] : probes) {
            const std::uint32_t seen = picture.pixel(point) & 0xFFFFFF;
            EXPECT_TRUE(similarColour(seen, colour, kTolerance))
                << point.x() << "," << point.y() << " shows " << std::hex << seen;
        }
    }

    std::optional<DesktopRecorder> recorder_;
};

// Full Screen shares the output without a chooser, and Save Clip writes its picture and a sound track;
// the next start restores the share (the portal answers with the same token only then).
TEST_F(RealCompositor, fullScreenIsSavedWithItsPictureAndTheNextStartRestoresTheShare) {
    RecordingManager& manager = recorder_->manager;
    ASSERT_NO_FATAL_FAILURE(recorder_->start());
    const QString tokenKey = portal::restoreTokenKey(ContentKind::display);
    const QString token = Settings::stringValue(tokenKey).value_or(QString());
    EXPECT_FALSE(token.isEmpty());
    ASSERT_NO_FATAL_FAILURE(recorder_->waitForBuffered(1.5));
    QSignalSpy saved(&manager, &RecordingManager::clipSaved);
    QCoro::waitFor(manager.saveClip());
    ASSERT_EQ(saved.size(), 1) << manager.lastClipOutcome().message().toStdString();
    const QString clip = saved[0][0].toString();
    EXPECT_EQ(probeMovie(clip)[u"streams"].toArray().size(), 2);
    std::vector<std::pair<QPoint, std::uint32_t>> probes{{QPoint(100, 1000), 0x000000}};
    for (int bar = 0; bar < 7; ++bar) {
        probes.emplace_back(QPoint(barCentre(bar, 1920), 360), kBars[bar]);
    }
    expectLastPicture(clip, QSize(1920, 1080), probes);

    QCoro::waitFor(manager.stopAndSave()); // the dialog is cancelled
    ASSERT_NO_FATAL_FAILURE(recorder_->start());
    EXPECT_EQ(Settings::stringValue(tokenKey).value_or(QString()), token);
    QCoro::waitFor(manager.stopAndSave());
}

// The selector covers the whole output, and the rectangle dragged with the compositor's pointer is
// exactly what the recording holds.
TEST_F(RealCompositor, aRegionDraggedWithThePointerIsRecordedExactly) {
    RecordingManager& manager = recorder_->manager;
    QCoro::Task<MaybeError> selecting = selectRegionTarget(manager, recorder_->platform);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlayViews(kSelector).size() == 1; }, 10000));
    QWidget* view = overlayViews(kSelector).front();
    ASSERT_TRUE(view != nullptr && QTest::qWaitForWindowExposed(view->window()));
    BACKREEL_EVENTUALLY_EQ(view->size(), QSize(1920, 1080));
    // Mapped by the compositor (the window of this process is in its tree) before the mouse moves.
    const std::string mapped = "\"pid\": " + std::to_string(getpid()) + ",";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::string tree;
            return runProgram({"swaymsg", "-t", "get_tree"}, &tree) && tree.find(mapped) != std::string::npos;
        },
        5000));
    ChildProcess pointer;
    ASSERT_TRUE(
        pointer.start({BACKREEL_VIRTUAL_POINTER, "400,600", "press", "700,750", "1000,900", "release"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selecting.isReady(); }, 10000)) << pointer.output();
    EXPECT_FALSE(QCoro::waitFor(selecting));
    ASSERT_TRUE(manager.captureTarget().asRegion());
    EXPECT_EQ(manager.captureTarget().asRegion()->rect, QRectF(400, 600, 600, 300));

    ASSERT_NO_FATAL_FAILURE(recorder_->start());
    ASSERT_NO_FATAL_FAILURE(recorder_->waitForBuffered(1.5));
    const QString location = recorder_->folder.filePath(QStringLiteral("region.mp4"));
    recorder_->dialog->answers.push_back(location);
    QCoro::waitFor(manager.stopAndSave());
    ASSERT_EQ(manager.status(), RecordingStatus::saved(QUrl::fromLocalFile(location)));
    // The screen's x = 420, 700 and 960 (yellow, cyan and green) at y = 660; black at y = 840.
    expectLastPicture(location, QSize(600, 300),
                      {{QPoint(20, 60), kBars[1]},
                       {QPoint(300, 60), kBars[2]},
                       {QPoint(560, 60), kBars[3]},
                       {QPoint(300, 240), 0x000000}});
}

} // namespace
} // namespace backreel::test
