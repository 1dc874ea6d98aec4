#include "ui/RecordingStatusView.h"

#include "capture/RecordingManager.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"
#include "ui/ActivitySpinner.h"
#include "ui/MonotonicTimer.h"
#include "ui/StatusText.h"
#include "ui/SystemColors.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QTest>

using namespace backreel;
using namespace std::chrono_literals;
using Kind = RecordingStatus::Kind;

namespace {

RecordingStatus savedAt(const QString& path) {
    return RecordingStatus::saved(QUrl::fromLocalFile(path));
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

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    std::unique_ptr<RecordingStatusView> view;
    test::ManualTimer* timer = nullptr;
};

} // namespace

TEST_F(RecordingStatusViewTest, ShowsOneLayoutPerStatus) {
    struct Row {
        RecordingStatus status;
        const char* title;
    };
    const Row rows[] = {
        {RecordingStatus::idle(), "Ready"},
        {RecordingStatus::buffering(), "Recording…"},
        {RecordingStatus::saving(), "Saving…"},
        {savedAt(QStringLiteral("/tmp/clip.mp4")), "Saved!"},
        {RecordingStatus::error(QStringLiteral("No display found.")), "No display found."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        manager->setStatus(row.status);
        EXPECT_EQ(view->shownKind(), row.status.kind());
        ASSERT_NE(view->titleLabel(), nullptr);
        EXPECT_EQ(view->titleLabel()->text(), QString::fromUtf8(row.title));
        EXPECT_TRUE(view->titleLabel()->isVisible());
        EXPECT_EQ(view->fileNameLabel()->isVisible(), row.status.is(Kind::saved));
        // Exactly one title on show.
        int visibleTitles = 0;
        for (const QLabel* label : view->findChildren<QLabel*>()) {
            if (label->isVisible() && label->objectName() != QLatin1String("transitionPicture") &&
                label != view->fileNameLabel()) {
                ++visibleTitles;
            }
        }
        EXPECT_EQ(visibleTitles, 1);
    }
}

TEST_F(RecordingStatusViewTest, FontsAndColoursFollowTheStatus) {
    const QPalette colors = view->palette();
    manager->setStatus(RecordingStatus::idle());
    EXPECT_GE(view->titleLabel()->font().weight(), QFont::DemiBold);
    EXPECT_EQ(view->titleLabel()->palette().color(QPalette::WindowText), system_colors::primaryText(colors));

    manager->setStatus(RecordingStatus::saving());
    EXPECT_EQ(view->titleLabel()->palette().color(QPalette::WindowText),
              system_colors::secondaryText(colors));
    const auto spinners = view->findChildren<ActivitySpinner*>();
    ASSERT_EQ(spinners.size(), 1);
    EXPECT_TRUE(spinners.front()->isVisible());
    EXPECT_TRUE(spinners.front()->isSpinning());

    manager->setStatus(savedAt(QStringLiteral("/tmp/clip.mp4")));
    EXPECT_EQ(view->titleLabel()->palette().color(QPalette::WindowText), system_colors::green(colors));
    EXPECT_EQ(view->fileNameLabel()->text(), QStringLiteral("clip.mp4"));
    EXPECT_EQ(view->fileNameLabel()->palette().color(QPalette::WindowText),
              system_colors::secondaryText(colors));
    EXPECT_LT(view->fileNameLabel()->font().pointSizeF(), view->titleLabel()->font().pointSizeF() + 0.01);
    EXPECT_FALSE(spinners.front()->isSpinning());

    manager->setStatus(RecordingStatus::error(QStringLiteral("Boom")));
    EXPECT_EQ(view->titleLabel()->palette().color(QPalette::WindowText), system_colors::red(colors));
}

TEST_F(RecordingStatusViewTest, ReturnsToReadyTenSecondsAfterASave) {
    manager->setStatus(savedAt(QStringLiteral("/tmp/clip.mp4")));
    ASSERT_TRUE(view->isReturnToReadyPending());
    EXPECT_EQ(timer->remaining(), 10s);
    timer->advance(9999ms);
    EXPECT_EQ(manager->status(), savedAt(QStringLiteral("/tmp/clip.mp4")));
    timer->advance(1ms);
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    EXPECT_EQ(view->shownKind(), Kind::idle);
    EXPECT_EQ(view->titleLabel()->text(), QStringLiteral("Ready"));
    EXPECT_FALSE(view->isReturnToReadyPending());
}

TEST_F(RecordingStatusViewTest, ANewRecordingWithinTheWaitIsLeftAlone) {
    manager->setStatus(savedAt(QStringLiteral("/tmp/clip.mp4")));
    timer->advance(4s);
    manager->setStatus(RecordingStatus::buffering());
    EXPECT_EQ(view->titleLabel()->text(), QStringLiteral("Recording…"));
    EXPECT_FALSE(view->isReturnToReadyPending());
    timer->advance(20s);
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
}

TEST_F(RecordingStatusViewTest, ASecondSaveRestartsTheWait) {
    manager->setStatus(savedAt(QStringLiteral("/tmp/first.mp4")));
    timer->advance(6s);
    manager->setStatus(RecordingStatus::buffering());
    manager->setStatus(RecordingStatus::saving());
    manager->setStatus(savedAt(QStringLiteral("/tmp/second.mp4")));
    EXPECT_EQ(timer->remaining(), 10s);
    EXPECT_EQ(view->fileNameLabel()->text(), QStringLiteral("second.mp4"));
    timer->advance(6s);
    EXPECT_TRUE(manager->status().is(Kind::saved));
    timer->advance(4s);
    EXPECT_EQ(manager->status(), RecordingStatus::idle());

    // Another file saved while "Saved!" is still on show starts the ten seconds afresh too.
    manager->setStatus(savedAt(QStringLiteral("/tmp/third.mp4")));
    timer->advance(7s);
    manager->setStatus(savedAt(QStringLiteral("/tmp/fourth.mp4")));
    EXPECT_TRUE(manager->status().is(Kind::saved));
    EXPECT_EQ(timer->remaining(), 10s);
    timer->advance(10s);
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
}

TEST_F(RecordingStatusViewTest, ClosingTheWindowWhileSavedReturnsToIdleAtOnce) {
    manager->setStatus(savedAt(QStringLiteral("/tmp/clip.mp4")));
    timer->advance(1s);
    view->close();
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    EXPECT_FALSE(view->isReturnToReadyPending());
}

TEST_F(RecordingStatusViewTest, ASaveNobodySawWaitsForTheWindow) {
    view->hide();
    manager->setStatus(savedAt(QStringLiteral("/tmp/clip.mp4")));
    EXPECT_FALSE(view->isReturnToReadyPending());
    timer->advance(60s);
    EXPECT_TRUE(manager->status().is(Kind::saved));
    // Shown again: the ten seconds start now.
    view->show();
    EXPECT_TRUE(view->isReturnToReadyPending());
    EXPECT_EQ(timer->remaining(), 10s);
}

TEST_F(RecordingStatusViewTest, LongErrorMessagesWrapOntoTwoLinesAndAreCutAfterThem) {
    manager->setStatus(RecordingStatus::error(QStringLiteral("Boom")));
    QTest::qWait(10);
    const int oneLineHeight = view->sizeHint().height();

    const QString longMessage = QStringLiteral(
        "Save failed: Could not write the movie because the destination folder is on a disk that "
        "was removed while the clip was being written, so nothing was saved at all this time.");
    manager->setStatus(RecordingStatus::error(longMessage));
    BACKREEL_EVENTUALLY_EQ(view->titleLabel()->text().count(QLatin1Char('\n')), 1);
    const QStringList lines = view->titleLabel()->text().split(QLatin1Char('\n'));
    EXPECT_TRUE(longMessage.startsWith(lines[0]));
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026)));
    // The line grows to show both lines rather than cutting them.
    EXPECT_GE(view->sizeHint().height(),
              oneLineHeight + QFontMetrics(view->titleLabel()->font()).lineSpacing() - 1);
    EXPECT_GE(view->titleLabel()->height(), 2 * QFontMetrics(view->titleLabel()->font()).height() - 1);
    // Nothing sticks out of the line's width.
    EXPECT_LE(view->titleLabel()->geometry().right(), view->width());
    EXPECT_EQ(view->titleLabel()->toolTip(), longMessage);
}

TEST_F(RecordingStatusViewTest, VeryLongFileNamesAreShortenedInTheMiddle) {
    const QString name =
        QStringLiteral("loopvane-2024-05-01-101500-%1.mp4").arg(QString(200, QLatin1Char('x')));
    manager->setStatus(savedAt(QStringLiteral("/tmp/") + name));
    const QString shown = view->fileNameLabel()->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("loopvane-2024")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("xx.mp4")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
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

TEST(MonotonicTimer, FiresOnceAndCanBeCancelledOrReplaced) {
    MonotonicTimer timer;
    int fired = 0;
    timer.start(20ms, [&] { ++fired; });
    EXPECT_TRUE(timer.isActive());
    BACKREEL_EVENTUALLY_EQ(fired, 1);
    EXPECT_FALSE(timer.isActive());
    QTest::qWait(50);
    EXPECT_EQ(fired, 1);

    timer.start(20ms, [&] { fired += 10; });
    timer.cancel();
    QTest::qWait(60);
    EXPECT_EQ(fired, 1);

    timer.start(20ms, [&] { fired += 100; });
    timer.start(30ms, [&] { fired += 1000; });
    QTest::qWait(100);
    EXPECT_EQ(fired, 1001);
}
