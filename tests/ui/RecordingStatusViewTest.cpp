#include "ui/RecordingStatusView.h"

#include "capture/RecordingManager.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/WidgetTest.h"
#include "ui/ActivitySpinner.h"
#include "ui/MonotonicTimer.h"
#include "ui/SystemColors.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QTest>

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
        state = std::make_shared<SyntheticState>();
        manager = std::make_unique<RecordingManager>(makeSyntheticPlatform(state),
                                                     std::make_shared<test::SaveFlowStandIn>(state));
        auto manualTimer = std::make_unique<test::ManualTimer>();
        timer = manualTimer.get();
        view = std::make_unique<RecordingStatusView>(*manager, std::move(manualTimer));
        view->setFixedWidth(RecordingStatusView::kDefaultWidth);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override {
        view.reset();
        manager.reset();
    }

    QColor titleColour() const { return view->titleLabel()->palette().color(QPalette::WindowText); }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    std::unique_ptr<RecordingStatusView> view;
    test::ManualTimer* timer = nullptr;
};

} // namespace

TEST_F(RecordingStatusViewTest, EachStatusShowsItsTitleInItsColour) {
    const QPalette colours = view->palette();
    struct Row {
        RecordingStatus status;
        const char* title;
        QColor colour;
    };
    const Row rows[] = {
        {RecordingStatus::idle(), "Ready", system_colors::primaryText(colours)},
        {RecordingStatus::buffering(), "Recording…", system_colors::primaryText(colours)},
        {RecordingStatus::saving(), "Saving…", system_colors::secondaryText(colours)},
        {savedAt(QStringLiteral("clip.mp4")), "Saved!", system_colors::green(colours)},
        {RecordingStatus::error(QStringLiteral("No display found.")), "No display found.",
         system_colors::red(colours)},
    };
    const auto spinners = view->findChildren<ActivitySpinner*>();
    ASSERT_EQ(spinners.size(), 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        manager->setStatus(row.status);
        EXPECT_EQ(view->shownKind(), row.status.kind());
        EXPECT_EQ(view->titleLabel()->text(), QString::fromUtf8(row.title));
        EXPECT_TRUE(view->titleLabel()->isVisible());
        EXPECT_EQ(titleColour(), row.colour);
        EXPECT_EQ(view->fileNameLabel()->isVisible(), row.status.is(Kind::saved));
        EXPECT_EQ(spinners.front()->isSpinning(), row.status.is(Kind::saving));
        // Exactly one title on show.
        int titles = 0;
        for (const QLabel* label : view->findChildren<QLabel*>()) {
            titles += label->isVisible() && label->objectName() != QLatin1String("transitionPicture") &&
                      label != view->fileNameLabel();
        }
        EXPECT_EQ(titles, 1);
    }
    EXPECT_EQ(view->fileNameLabel()->text(), QStringLiteral("clip.mp4"));
}

// "Saved!" goes back to "Ready" ten seconds after it is first on show, and at once when the
// window closes; a new recording meanwhile is left alone, and a new save starts the wait afresh.
TEST_F(RecordingStatusViewTest, SavedReturnsToReadyTenSecondsAfterItWasSeen) {
    manager->setStatus(savedAt(QStringLiteral("first.mp4")));
    EXPECT_EQ(timer->remaining(), 10s);
    timer->advance(9999ms);
    EXPECT_TRUE(manager->status().is(Kind::saved));
    timer->advance(1ms);
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    EXPECT_EQ(view->titleLabel()->text(), QStringLiteral("Ready"));

    manager->setStatus(savedAt(QStringLiteral("second.mp4")));
    timer->advance(4s);
    manager->setStatus(RecordingStatus::buffering());
    EXPECT_FALSE(view->isReturnToReadyPending());
    timer->advance(20s);
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());

    manager->setStatus(savedAt(QStringLiteral("third.mp4")));
    timer->advance(7s);
    manager->setStatus(savedAt(QStringLiteral("fourth.mp4")));
    EXPECT_EQ(timer->remaining(), 10s);
    EXPECT_EQ(view->fileNameLabel()->text(), QStringLiteral("fourth.mp4"));

    view->close();
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    EXPECT_FALSE(view->isReturnToReadyPending());

    // A save nobody saw waits for the window.
    manager->setStatus(savedAt(QStringLiteral("fifth.mp4")));
    timer->advance(60s);
    EXPECT_TRUE(manager->status().is(Kind::saved));
    view->show();
    EXPECT_EQ(timer->remaining(), 10s);
}

TEST_F(RecordingStatusViewTest, LongTextsAreWrappedOrShortenedToFit) {
    manager->setStatus(RecordingStatus::error(QStringLiteral("Boom")));
    const int oneLineHeight = view->sizeHint().height();
    const QString message = QStringLiteral(
        "Save failed: Could not write the movie because the destination folder is on a disk that "
        "was removed while the clip was being written, so nothing was saved at all this time.");
    manager->setStatus(RecordingStatus::error(message));
    BACKREEL_EVENTUALLY_EQ(view->titleLabel()->text().count(QLatin1Char('\n')), 1);
    const QStringList lines = view->titleLabel()->text().split(QLatin1Char('\n'));
    EXPECT_TRUE(message.startsWith(lines[0]));
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026)));
    // The line grows to show both lines, nothing sticks out, and the whole text is a tooltip away.
    const QFontMetrics metrics(view->titleLabel()->font());
    EXPECT_GE(view->sizeHint().height(), oneLineHeight + metrics.lineSpacing() - 1);
    EXPECT_GE(view->titleLabel()->height(), 2 * metrics.height() - 1);
    EXPECT_LE(view->titleLabel()->geometry().right(), view->width());
    EXPECT_EQ(view->titleLabel()->toolTip(), message);

    manager->setStatus(savedAt(QStringLiteral("loopvane-2024-05-01-101500-%1.mp4").arg(QString(200, u'x'))));
    const QString shown = view->fileNameLabel()->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("loopvane-2024")) &&
                shown.endsWith(QStringLiteral("xx.mp4")));
    EXPECT_LE(QFontMetrics(view->fileNameLabel()->font()).horizontalAdvance(shown), view->width());
}

TEST_F(RecordingStatusViewTest, StatusChangesFadeOverAFractionOfASecond) {
    manager->setStatus(RecordingStatus::buffering());
    // The old layout's picture fades where it was while the new one fades in...
    EXPECT_EQ(view->findChildren<QLabel*>(QStringLiteral("transitionPicture")).size(), 1);
    EXPECT_NE(view->titleLabel()->parentWidget()->graphicsEffect(), nullptr);
    // ...and 0.15 s later both are done.
    BACKREEL_EVENTUALLY_TRUE_WITHIN(
        view->findChildren<QLabel*>(QStringLiteral("transitionPicture")).isEmpty(), 1000);
    EXPECT_EQ(view->titleLabel()->parentWidget()->graphicsEffect(), nullptr);
}

// A second timer started after the one under test is the clock: once it has fired, the one under
// test has fired too, or never will.
TEST(MonotonicTimer, FiresOnceAndCanBeCancelledOrReplaced) {
    MonotonicTimer timer;
    MonotonicTimer clock;
    int fired = 0;
    bool ticked = false;
    const auto waitPast = [&](std::chrono::milliseconds delay) {
        ticked = false;
        clock.start(delay, [&] { ticked = true; });
        BACKREEL_EVENTUALLY_TRUE(ticked);
    };
    timer.start(20ms, [&] { ++fired; });
    EXPECT_TRUE(timer.isActive());
    waitPast(40ms);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.isActive());

    timer.start(20ms, [&] { fired += 10; });
    timer.cancel();
    waitPast(40ms);
    timer.start(20ms, [&] { fired += 100; });
    timer.start(30ms, [&] { fired += 1000; });
    waitPast(50ms);
    EXPECT_EQ(fired, 1001);
}
