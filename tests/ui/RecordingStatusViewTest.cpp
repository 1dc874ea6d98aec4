#include "ui/RecordingStatusView.h"

#include "support/synthetic/SyntheticCaptureService.h"
#include "support/WidgetTest.h"
#include "ui/ActivitySpinner.h"
#include "ui/SystemColors.h"
#include "ui/ViewTransition.h"

#include <span>

using namespace backreel;
using namespace std::chrono_literals;
using Kind = RecordingStatus::Kind;

namespace {

RecordingStatus savedAt(const QString& name) {
    return RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/") + name));
}

class RecordingStatusViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        view.setFixedWidth(RecordingStatusView::kDefaultWidth);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    test::SyntheticRecorder recorder;
    std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    test::ManualTimer* timer = new test::ManualTimer;
    RecordingStatusView view{*manager, std::unique_ptr<test::ManualTimer>(timer)};
};

} // namespace

// Each status shows its title and its mark (green when ready or saved, red while recording or on an
// error); the file name only when saved, the spinner only while saving. Long texts are cut to fit.
TEST_F(RecordingStatusViewTest, EachStatusShowsItsTitleAndMarkAndLongTextsFit) {
    setViewTransitionsEnabled(false);
    const QColor green = system_colors::green(view.palette());
    const QColor red = system_colors::red(view.palette());
    const std::tuple<RecordingStatus, const char*, std::optional<QColor>> rows[] = {
        {RecordingStatus::idle(), "Ready", green},
        {RecordingStatus::buffering(QStringLiteral("no system audio: gone")),
         "Recording… (no system audio: gone)", red},
        {RecordingStatus::saving(), "Saving…", std::nullopt},
        {savedAt(QStringLiteral("clip.mp4")), "Saved!", green},
        {RecordingStatus::error(QStringLiteral("No display found.")), "No display found.", red},
    };
    for (const auto& [status, title, mark] : rows) {
        SCOPED_TRACE(title);
        manager->setStatus(status);
        EXPECT_EQ(view.titleLabel()->text(), QString::fromUtf8(title));
        const QImage picture = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const std::span pixels(reinterpret_cast<const QRgb*>(picture.constBits()),
                               static_cast<std::size_t>(picture.sizeInBytes()) / 4);
        for (const QColor& marked : {green, red}) {
            EXPECT_EQ(std::ranges::find(pixels, marked.rgba()) != pixels.end(), mark == marked);
        }
        EXPECT_EQ(view.fileNameLabel()->isVisible(), status.is(Kind::saved));
        EXPECT_EQ(view.findChild<ActivitySpinner*>()->isSpinning(), status.is(Kind::saving));
    }
    setViewTransitionsEnabled(true);

    // Long messages wrap onto two cut lines, whole in the tooltip; long file names lose their middle.
    const QString message =
        QStringLiteral("Save failed: Could not write the movie because the destination folder is "
                       "on a disk that was removed while the clip was being written.")
            .repeated(2);
    manager->setStatus(RecordingStatus::error(message));
    const QStringList lines = view.titleLabel()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(message.startsWith(lines[0]) && lines[1].endsWith(QChar(0x2026)));
    EXPECT_EQ(message.indexOf(lines[1].chopped(1).trimmed()), lines[0].size() + 1)
        << "on where the first stopped";
    EXPECT_EQ(view.titleLabel()->toolTip(), message);

    manager->setStatus(savedAt(QStringLiteral("loopvane-2024-05-01-101500-%1.mp4").arg(QString(200, u'x'))));
    const QString shown = view.fileNameLabel()->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("loopvane-2024")) &&
                shown.endsWith(QStringLiteral("xx.mp4")));
    EXPECT_LE(QFontMetrics(view.fileNameLabel()->font()).horizontalAdvance(shown), view.width());
}

TEST_F(RecordingStatusViewTest, AnErrorOffersTheUnsavedClipUntilARetryWritesIt) {
    QCoro::waitFor(manager->startRecording());
    BACKREEL_EVENTUALLY_TRUE(manager->session() && manager->session()->videoStore().count() >= 3);
    recorder.state->lastSource()->failWithError(QStringLiteral("The captured window was closed."));
    BACKREEL_EVENTUALLY_TRUE(view.offerButton()->isVisible());
    EXPECT_EQ(view.titleLabel()->text(), QStringLiteral("The captured window was closed."));
    EXPECT_EQ(view.offerButton()->text(), QStringLiteral("Save What Was Buffered…"));

    recorder.saveFlow->outcome = RecordingStatus::error(QStringLiteral("Save failed: the disk is full."));
    view.offerButton()->click();
    BACKREEL_EVENTUALLY_EQ(manager->status(), recorder.saveFlow->outcome);
    EXPECT_TRUE(view.offerButton()->isVisible());
    EXPECT_EQ(view.offerButton()->text(), QStringLiteral("Save Again…"));

    recorder.saveFlow->outcome = savedAt(QStringLiteral("again.mp4"));
    view.offerButton()->click();
    BACKREEL_EVENTUALLY_EQ(view.titleLabel()->text(), QStringLiteral("Saved!"));
    EXPECT_FALSE(view.offerButton()->isVisible());
}

TEST_F(RecordingStatusViewTest, SavedReturnsToReadyTenSecondsAfterItWasSeen) {
    manager->setStatus(savedAt(QStringLiteral("first.mp4")));
    timer->advance(9999ms);
    EXPECT_TRUE(manager->status().is(Kind::saved));
    timer->advance(1ms);
    EXPECT_EQ(view.titleLabel()->text(), QStringLiteral("Ready"));

    manager->setStatus(savedAt(QStringLiteral("second.mp4")));
    timer->advance(4s);
    manager->setStatus(RecordingStatus::buffering());
    timer->advance(20s);
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());

    manager->setStatus(savedAt(QStringLiteral("third.mp4")));
    timer->advance(7s);
    manager->setStatus(savedAt(QStringLiteral("fourth clip #4 & ü.mp4")));
    EXPECT_EQ(timer->remaining(), 10s);
    EXPECT_EQ(view.fileNameLabel()->text(), QStringLiteral("fourth clip #4 & ü.mp4"));
    view.close();
    EXPECT_EQ(manager->status(), RecordingStatus::idle());

    // A save nobody saw waits for the window.
    manager->setStatus(savedAt(QStringLiteral("fifth.mp4")));
    timer->advance(60s);
    EXPECT_TRUE(manager->status().is(Kind::saved));
    view.show();
    EXPECT_EQ(timer->remaining(), 10s);
}
