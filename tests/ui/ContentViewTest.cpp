#include "ui/ContentView.h"

#include "capture/RecordingManager.h"
#include "platform/Settings.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"
#include "ui/CaptureTargetSection.h"
#include "ui/InfoRow.h"
#include "ui/LinkButton.h"
#include "ui/RecordingStatusView.h"
#include "ui/StatusText.h"
#include "ui/TargetPicker.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

backreel::Display display(std::uint32_t id, QString name) {
    return backreel::Display{id, 1920, 1080, QRectF(id == 1 ? 0 : 1920, 0, 1920, 1080), std::move(name)};
}

backreel::Window notesWindow() {
    return backreel::Window{
        42,
        QStringLiteral("Notes"),
        RunningApplication{QStringLiteral("Notes"), QStringLiteral("org.example.Notes"), 77},
        QRectF(10, 10, 300, 200),
        0,
        true};
}

// Records the picks the main window asks for; the overlays themselves are not part of these tests.
class RecordingTargetPicker final : public TargetPicker {
public:
    QCoro::Task<> pickWindowTarget() override {
        ++windowPicks;
        co_return;
    }
    QCoro::Task<> selectRegionTarget() override {
        ++regionSelections;
        co_return;
    }
    int windowPicks = 0;
    int regionSelections = 0;
};

class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
        Settings::setBoolValue(Settings::kMuteNotificationsKey, false);
    }
    void TearDown() override {
        view.reset();
        manager.reset();
    }

    void make(std::vector<backreel::Display> displays = {display(1, QStringLiteral("VIRT-1"))},
              std::uint32_t mainDisplay = 1) {
        SyntheticOptions options;
        options.content.displays = std::move(displays);
        options.content.windows = {notesWindow()};
        options.mainDisplayID = mainDisplay;
        state = std::make_shared<SyntheticState>(std::move(options));
        manager = std::make_unique<RecordingManager>(makeSyntheticPlatform(state),
                                                     std::make_shared<test::SaveFlowStandIn>(state));
        openView();
    }

    void openView() {
        view = std::make_unique<ContentView>(*manager, picker, std::make_unique<test::ManualTimer>());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        // Shown: the displays are loaded and the main one becomes the target.
        BACKREEL_EVENTUALLY_TRUE(!manager->availableDisplays().empty());
    }

    CaptureTargetSection& section() { return *view->captureSection(); }

    void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    RecordingTargetPicker picker;
    std::unique_ptr<ContentView> view;
};

} // namespace

TEST_F(ContentViewTest, IsAFramelessTranslucentPanelThreeHundredPointsWide) {
    make();
    EXPECT_EQ(view->width(), ContentView::kWidth);
    EXPECT_TRUE(view->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(view->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Backreel"));
    // Cut to its rounded shape: the very corner is outside, the middle of each edge inside.
    EXPECT_FALSE(view->mask().contains(QPoint(1, 1)));
    EXPECT_FALSE(view->mask().contains(QPoint(view->width() - 2, view->height() - 2)));
    EXPECT_TRUE(view->mask().contains(QPoint(view->width() / 2, 1)));
    EXPECT_TRUE(view->mask().contains(QPoint(1, view->height() / 2)));
    // As tall as its content.
    EXPECT_EQ(view->height(), view->sizeHint().height());
}

TEST_F(ContentViewTest, HandsOverItsWindowOneTripThroughTheEventLoopAfterTheShow) {
    make();
    view.reset();
    view = std::make_unique<ContentView>(*manager, picker, std::make_unique<test::ManualTimer>());
    view->show();
    EXPECT_EQ(view->appWindow(), nullptr);
    BACKREEL_EVENTUALLY_EQ(view->appWindow(), view->windowHandle());
}

TEST_F(ContentViewTest, MainButtonFollowsTheStatus) {
    make();
    struct Row {
        RecordingStatus status;
        const char* title;
        bool enabled;
    };
    const Row rows[] = {
        {RecordingStatus::idle(), "Start Recording", true},
        {RecordingStatus::buffering(), "Stop & Save", true},
        {RecordingStatus::saving(), "Saving…", false},
        {RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))), "Start Recording", true},
        {RecordingStatus::error(QStringLiteral("No display found.")), "Start Recording", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        manager->setStatus(row.status);
        // The '&' is shown as it is, not taken as a shortcut key.
        EXPECT_EQ(view->mainButton()->text(), literalMnemonicText(QString::fromUtf8(row.title)));
        EXPECT_TRUE(QKeySequence::mnemonic(view->mainButton()->text()).isEmpty());
        EXPECT_EQ(view->mainButton()->isEnabled(), row.enabled);
    }
}

TEST_F(ContentViewTest, WhileBufferingEverySettingIsLockedButAlwaysOnTop) {
    make({display(1, QStringLiteral("VIRT-1")), display(2, QStringLiteral("VIRT-2"))});
    manager->setStatus(RecordingStatus::buffering());
    const QWidget* locked[] = {view->durationPicker(),
                               section().captureModePicker(),
                               section().screenPicker(),
                               section().pickWindowButton(),
                               section().selectRegionButton(),
                               section().windowInfoRow()->button(),
                               section().regionInfoRow()->button(),
                               view->recordThisWindowBox(),
                               view->muteNotificationsBox()};
    for (const QWidget* control : locked) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_TRUE(view->alwaysOnTopBox()->isEnabled());
    EXPECT_TRUE(view->mainButton()->isEnabled());

    // While saving only the main button is off.
    manager->setStatus(RecordingStatus::saving());
    for (const QWidget* control : locked) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_FALSE(view->mainButton()->isEnabled());
}

TEST_F(ContentViewTest, MainButtonStartsAndStopsTheRecording) {
    make();
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    EXPECT_EQ(view->statusView()->titleLabel()->text(), QStringLiteral("Recording…"));
    QTest::qWait(300);
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_TRUE(!manager->status().is(Kind::buffering) && !manager->status().is(Kind::saving));
    EXPECT_EQ(view->mainButton()->text(), QStringLiteral("Start Recording"));
}

TEST_F(ContentViewTest, DurationPickerWritesTheBufferDuration) {
    make();
    QComboBox* durations = view->durationPicker();
    ASSERT_EQ(durations->count(), 4);
    EXPECT_EQ(durations->itemText(0), QStringLiteral("10 sec"));
    EXPECT_EQ(durations->itemText(3), QStringLiteral("3 min"));
    EXPECT_EQ(durations->accessibleName(), QStringLiteral("Duration"));
    choose(durations, 2);
    EXPECT_EQ(manager->bufferDuration(), RecordingDuration::oneMinute);
    manager->setBufferDuration(RecordingDuration::threeMinutes);
    EXPECT_EQ(durations->currentText(), QStringLiteral("3 min"));
}

TEST_F(ContentViewTest, SwitchingToWindowOrRegionKeepsTheTarget) {
    make();
    const CaptureTarget before = manager->captureTarget();
    ASSERT_EQ(before, CaptureTarget::display(display(1, QStringLiteral("VIRT-1"))));
    QSignalSpy targetChanges(manager.get(), &RecordingManager::captureTargetChanged);

    choose(section().captureModePicker(), 1);
    EXPECT_EQ(view->captureMode(), CaptureModeSelection::window);
    EXPECT_EQ(section().shownItem(), TargetAreaItem::pickWindowButton);
    EXPECT_TRUE(section().pickWindowButton()->isVisible());
    QTest::mouseClick(section().pickWindowButton(), Qt::LeftButton);
    EXPECT_EQ(picker.windowPicks, 1);

    choose(section().captureModePicker(), 2);
    EXPECT_EQ(section().shownItem(), TargetAreaItem::selectRegionButton);
    QTest::mouseClick(section().selectRegionButton(), Qt::LeftButton);
    EXPECT_EQ(picker.regionSelections, 1);

    EXPECT_EQ(targetChanges.count(), 0);
    EXPECT_EQ(manager->captureTarget(), before);
    // Full Screen again while the target is a display: nothing changes.
    choose(section().captureModePicker(), 0);
    QTest::qWait(20);
    EXPECT_EQ(targetChanges.count(), 0);
    // Starting in Window mode records the previous target.
    choose(section().captureModePicker(), 1);
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    EXPECT_EQ(state->lastStream()->filter().displayContent()->display.displayID, 1u);
}

TEST_F(ContentViewTest, BackToFullScreenResetsOnlyAWindowOrRegionTarget) {
    make({display(1, QStringLiteral("VIRT-1")), display(2, QStringLiteral("VIRT-2"))}, 2);
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(notesWindow())));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("Notes"), QRectF(10, 10, 300, 200), 42, true});
    choose(section().captureModePicker(), 1);
    EXPECT_EQ(section().shownItem(), TargetAreaItem::windowInfo);
    EXPECT_EQ(section().windowInfoRow()->text(), QStringLiteral("Notes"));
    QTest::mouseClick(section().windowInfoRow()->button(), Qt::LeftButton);
    EXPECT_EQ(picker.windowPicks, 1);

    state->clearJournal();
    choose(section().captureModePicker(), 0);
    // The target is reset, then the display list reloaded, which picks the main display.
    BACKREEL_EVENTUALLY_EQ(manager->captureTarget(),
                           CaptureTarget::display(display(2, QStringLiteral("VIRT-2"))));
    EXPECT_FALSE(manager->selectedWindowInfo().has_value());
    EXPECT_EQ(section().shownItem(), TargetAreaItem::screenPicker);

    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 1280.9, 720.2), display(1, QStringLiteral("VIRT-1"))));
    choose(section().captureModePicker(), 2);
    EXPECT_EQ(section().shownItem(), TargetAreaItem::regionInfo);
    EXPECT_EQ(section().regionInfoRow()->text(), QStringLiteral("1280 × 720"));
    choose(section().captureModePicker(), 0);
    BACKREEL_EVENTUALLY_EQ(manager->captureTarget(),
                           CaptureTarget::display(display(2, QStringLiteral("VIRT-2"))));
}

TEST_F(ContentViewTest, ScreenPickerOnlyWithTwoOrMoreDisplays) {
    make();
    EXPECT_EQ(section().shownItem(), TargetAreaItem::nothing);
    EXPECT_FALSE(section().screenPicker()->isVisible());

    // A second monitor appears; the next refresh lists it.
    state->changeOptions([](SyntheticOptions& options) {
        options.content.displays.push_back(display(2, QStringLiteral("VIRT-2")));
    });
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(section().shownItem(), TargetAreaItem::screenPicker);
    EXPECT_TRUE(section().screenPicker()->isVisible());
    QComboBox* screens = section().screenPicker();
    ASSERT_EQ(screens->count(), 2);
    EXPECT_EQ(screens->accessibleName(), QStringLiteral("Screen"));
    EXPECT_EQ(screens->currentIndex(), 0);
    // Neither name is one of this session's screens.
    EXPECT_EQ(screens->itemText(1), QStringLiteral("Display 2"));
    choose(screens, 1);
    EXPECT_EQ(manager->captureTarget(), CaptureTarget::display(display(2, QStringLiteral("VIRT-2"))));
    // Pushed to the trailing edge.
    EXPECT_GT(screens->geometry().left(), screens->parentWidget()->width() / 3);
}

TEST_F(ContentViewTest, ScreenPickerNamesDisplaysAfterTheirScreens) {
    const QString screenName = QGuiApplication::primaryScreen()->name();
    make({display(1, screenName), display(2, QStringLiteral("elsewhere"))});
    QComboBox* screens = section().screenPicker();
    ASSERT_EQ(screens->count(), 2);
    EXPECT_TRUE(screens->itemText(0).startsWith(screenName)) << screens->itemText(0).toStdString();
    EXPECT_EQ(screens->itemText(1), QStringLiteral("Display 2"));
}

TEST_F(ContentViewTest, RecordThisWindowOnlyForDisplayTargets) {
    make();
    EXPECT_TRUE(view->recordThisWindowBox()->isVisible());
    view->recordThisWindowBox()->click();
    EXPECT_TRUE(manager->includeBackreelWindow());

    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(notesWindow())));
    EXPECT_FALSE(view->recordThisWindowBox()->isVisible());
    // Whatever the picker shows: Full Screen mode with a window target still hides it.
    EXPECT_EQ(view->captureMode(), CaptureModeSelection::display);
    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 10, 10), display(1, QStringLiteral("VIRT-1"))));
    EXPECT_FALSE(view->recordThisWindowBox()->isVisible());
    manager->setCaptureTarget(CaptureTarget::display());
    EXPECT_TRUE(view->recordThisWindowBox()->isVisible());
    EXPECT_TRUE(view->recordThisWindowBox()->isChecked());
}

TEST_F(ContentViewTest, MuteNotificationsIsTheManagersPersistedOption) {
    make();
    EXPECT_FALSE(view->muteNotificationsBox()->isChecked());
    view->muteNotificationsBox()->click();
    EXPECT_TRUE(manager->muteNotifications());
    EXPECT_TRUE(Settings::boolValue(Settings::kMuteNotificationsKey));
}

TEST_F(ContentViewTest, CaptureModeStartsAsFullScreenInEveryNewWindow) {
    make();
    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 10, 10), display(1, QStringLiteral("VIRT-1"))));
    choose(section().captureModePicker(), 2);
    view.reset();
    openView();
    EXPECT_EQ(view->captureMode(), CaptureModeSelection::display);
    EXPECT_EQ(section().captureModePicker()->currentText(), QStringLiteral("Full Screen"));
    // The manager's target is left as it was.
    EXPECT_NE(manager->captureTarget().asRegion(), nullptr);
}

TEST_F(ContentViewTest, AlwaysOnTopIsStoredAndAppliedToTheWindow) {
    make();
    BACKREEL_EVENTUALLY_TRUE(view->appWindow() != nullptr);
    EXPECT_FALSE(view->alwaysOnTopBox()->isChecked());
    EXPECT_FALSE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));

    view->alwaysOnTopBox()->click();
    EXPECT_TRUE(Settings::boolValue(Settings::kAlwaysOnTopKey));
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(view->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(view->isVisible()) << "changing the level must not hide the window";

    // A restart: a new window reads the stored choice and applies it once its window is known.
    view.reset();
    view = std::make_unique<ContentView>(*manager, picker, std::make_unique<test::ManualTimer>());
    EXPECT_TRUE(view->alwaysOnTopBox()->isChecked());
    view->show();
    BACKREEL_EVENTUALLY_TRUE(view->appWindow() != nullptr);
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));

    view->alwaysOnTopBox()->click();
    EXPECT_FALSE(Settings::boolValue(Settings::kAlwaysOnTopKey));
    EXPECT_FALSE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(ContentViewTest, AlwaysOnTopBeforeTheWindowIsKnownOnlyStoresIt) {
    make();
    view.reset();
    view = std::make_unique<ContentView>(*manager, picker, std::make_unique<test::ManualTimer>());
    view->alwaysOnTopBox()->click();
    EXPECT_TRUE(Settings::boolValue(Settings::kAlwaysOnTopKey));
    EXPECT_EQ(view->appWindow(), nullptr);
    view->show();
    BACKREEL_EVENTUALLY_TRUE(view->appWindow() != nullptr);
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(ContentViewTest, DraggingTheBackgroundMovesTheWindow) {
    make();
    view->move(200, 150);
    BACKREEL_EVENTUALLY_EQ(view->pos(), QPoint(200, 150));
    // A point in the panel's padding, on its background.
    const QPoint grab(ContentView::kPadding / 2, view->height() / 2);
    QTest::mousePress(view.get(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(view.get(), grab + QPoint(60, 40));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, grab + QPoint(60, 40));
    BACKREEL_EVENTUALLY_EQ(view->pos(), QPoint(260, 190));
}

TEST_F(ContentViewTest, ARightClickAsksForTheApplicationMenu) {
    make();
    QSignalSpy requests(view.get(), &ContentView::menuRequested);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), view->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(view.get(), &event);
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests.front().front().toPoint(), view->mapToGlobal(QPoint(20, 20)));
}

TEST_F(ContentViewTest, ClosingTheWindowSaysSo) {
    make();
    QSignalSpy closed(view.get(), &ContentView::closed);
    view->close();
    EXPECT_EQ(closed.count(), 1);
}
