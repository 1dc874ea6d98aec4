#include "ui/ContentView.h"

#include "capture/RecordingManager.h"
#include "platform/Settings.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/WidgetTest.h"
#include "ui/CaptureTargetSection.h"
#include "ui/InfoRow.h"
#include "ui/LinkButton.h"
#include "ui/MainWindowRules.h"
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
const backreel::Display kFirst = display(1, QStringLiteral("VIRT-1"));
const backreel::Display kSecond = display(2, QStringLiteral("VIRT-2"));

const backreel::Window kNotes{
    42,
    QStringLiteral("Notes"),
    RunningApplication{QStringLiteral("Notes"), QStringLiteral("org.example.Notes"), 77},
    QRectF(10, 10, 300, 200),
    0,
    true};

// Counts the picks the main window asks for; the overlays themselves are not part of these tests.
class CountingTargetPicker final : public TargetPicker {
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

    void make(std::vector<backreel::Display> displays = {kFirst}, std::uint32_t mainDisplay = 1) {
        SyntheticOptions options;
        options.content.displays = std::move(displays);
        options.content.windows = {kNotes};
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

    static void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    CountingTargetPicker picker;
    std::unique_ptr<ContentView> view;
};

} // namespace

TEST_F(ContentViewTest, IsARoundedFramelessPanelAsTallAsItsContent) {
    make();
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Backreel"));
    EXPECT_TRUE(view->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(view->testAttribute(Qt::WA_TranslucentBackground));
    // Cut to its rounded shape: the very corners are outside, the middles of the edges inside.
    EXPECT_FALSE(view->mask().contains(QPoint(1, 1)));
    EXPECT_FALSE(view->mask().contains(QPoint(view->width() - 2, view->height() - 2)));
    EXPECT_TRUE(view->mask().contains(QPoint(view->width() / 2, 1)));
    EXPECT_TRUE(view->mask().contains(QPoint(1, view->height() / 2)));
    EXPECT_EQ(view->height(), view->sizeHint().height());
}

// The main button's title and state, and every setting but "Always on top", follow the status.
TEST_F(ContentViewTest, ControlsFollowTheStatus) {
    make({kFirst, kSecond});
    const QWidget* settings[] = {view->durationPicker(),
                                 section().captureModePicker(),
                                 section().screenPicker(),
                                 section().pickWindowButton(),
                                 section().selectRegionButton(),
                                 section().windowInfoRow()->button(),
                                 section().regionInfoRow()->button(),
                                 view->recordThisWindowBox(),
                                 view->muteNotificationsBox()};
    for (const RecordingStatus& status :
         {RecordingStatus::buffering(), RecordingStatus::saving(), RecordingStatus::idle(),
          RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))),
          RecordingStatus::error(QStringLiteral("No display found."))}) {
        manager->setStatus(status);
        SCOPED_TRACE(view->mainButton()->text().toStdString());
        // An '&' is shown as it is, not taken as a shortcut key.
        EXPECT_EQ(view->mainButton()->text(), literalMnemonicText(mainButtonTitle(status.kind())));
        EXPECT_TRUE(QKeySequence::mnemonic(view->mainButton()->text()).isEmpty());
        EXPECT_EQ(view->mainButton()->isEnabled(), mainButtonEnabled(status.kind()));
        for (const QWidget* control : settings) {
            EXPECT_EQ(control->isEnabled(), settingsEnabled(status.kind()))
                << control->objectName().toStdString();
        }
        EXPECT_TRUE(view->alwaysOnTopBox()->isEnabled());
    }
}

TEST_F(ContentViewTest, MainButtonStartsAndStopsTheRecording) {
    make();
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    EXPECT_EQ(view->statusView()->titleLabel()->text(), QStringLiteral("Recording…"));
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_TRUE(!manager->status().is(Kind::buffering) && !manager->status().is(Kind::saving));
    EXPECT_EQ(view->mainButton()->text(), QStringLiteral("Start Recording"));
}

TEST_F(ContentViewTest, DurationPickerWritesAndFollowsTheBufferDuration) {
    make();
    QComboBox* durations = view->durationPicker();
    ASSERT_EQ(durations->count(), 4);
    EXPECT_EQ(durations->itemText(0), QStringLiteral("10 sec"));
    EXPECT_EQ(durations->itemText(3), QStringLiteral("3 min"));
    choose(durations, 2);
    EXPECT_EQ(manager->bufferDuration(), RecordingDuration::oneMinute);
    manager->setBufferDuration(RecordingDuration::threeMinutes);
    EXPECT_EQ(durations->currentText(), QStringLiteral("3 min"));
}

TEST_F(ContentViewTest, SwitchingToWindowOrRegionKeepsTheTarget) {
    make();
    const CaptureTarget before = manager->captureTarget();
    ASSERT_EQ(before, CaptureTarget::display(kFirst));
    QSignalSpy targetChanges(manager.get(), &RecordingManager::captureTargetChanged);

    choose(section().captureModePicker(), 1);
    EXPECT_EQ(view->captureMode(), CaptureModeSelection::window);
    EXPECT_TRUE(section().pickWindowButton()->isVisible());
    QTest::mouseClick(section().pickWindowButton(), Qt::LeftButton);
    EXPECT_EQ(picker.windowPicks, 1);
    choose(section().captureModePicker(), 2);
    EXPECT_TRUE(section().selectRegionButton()->isVisible());
    QTest::mouseClick(section().selectRegionButton(), Qt::LeftButton);
    EXPECT_EQ(picker.regionSelections, 1);
    // Full Screen again while the target is a display changes nothing either.
    choose(section().captureModePicker(), 0);
    EXPECT_EQ(targetChanges.count(), 0);

    // Starting in Window mode records the previous target.
    choose(section().captureModePicker(), 1);
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    EXPECT_EQ(state->lastStream()->filter().displayContent()->display.displayID, 1u);
}

TEST_F(ContentViewTest, BackToFullScreenResetsAWindowOrRegionTargetToTheMainDisplay) {
    make({kFirst, kSecond}, 2);
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(kNotes)));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("Notes"), QRectF(10, 10, 300, 200), 42, true});
    choose(section().captureModePicker(), 1);
    EXPECT_EQ(section().windowInfoRow()->text(), QStringLiteral("Notes"));
    QTest::mouseClick(section().windowInfoRow()->button(), Qt::LeftButton);
    EXPECT_EQ(picker.windowPicks, 1);
    choose(section().captureModePicker(), 0);
    BACKREEL_EVENTUALLY_EQ(manager->captureTarget(), CaptureTarget::display(kSecond));
    EXPECT_FALSE(manager->selectedWindowInfo().has_value());
    EXPECT_TRUE(section().screenPicker()->isVisible());

    manager->setCaptureTarget(CaptureTarget::region(QRectF(0, 0, 1280.9, 720.2), kFirst));
    choose(section().captureModePicker(), 2);
    EXPECT_EQ(section().regionInfoRow()->text(), QStringLiteral("1280 × 720"));
    QTest::mouseClick(section().regionInfoRow()->button(), Qt::LeftButton);
    EXPECT_EQ(picker.regionSelections, 1);
    choose(section().captureModePicker(), 0);
    BACKREEL_EVENTUALLY_EQ(manager->captureTarget(), CaptureTarget::display(kSecond));
}

TEST_F(ContentViewTest, TheScreenPickerListsTwoOrMoreDisplaysByTheirScreensNames) {
    make({display(1, QGuiApplication::primaryScreen()->name())});
    EXPECT_FALSE(section().screenPicker()->isVisible());

    // A second monitor appears; the next refresh lists it.
    state->changeOptions([](SyntheticOptions& options) { options.content.displays.push_back(kSecond); });
    QCoro::waitFor(manager->refreshDisplays());
    QComboBox* screens = section().screenPicker();
    EXPECT_TRUE(screens->isVisible());
    ASSERT_EQ(screens->count(), 2);
    EXPECT_EQ(screens->currentIndex(), 0);
    EXPECT_TRUE(screens->itemText(0).startsWith(QGuiApplication::primaryScreen()->name()));
    EXPECT_EQ(screens->itemText(1), QStringLiteral("Display 2")); // no screen of this session
    choose(screens, 1);
    EXPECT_EQ(manager->captureTarget(), CaptureTarget::display(kSecond));
}

TEST_F(ContentViewTest, OptionsAreTheManagersAndRecordThisWindowOnlyForDisplays) {
    make();
    view->muteNotificationsBox()->click();
    EXPECT_TRUE(manager->muteNotifications());
    EXPECT_TRUE(Settings::boolValue(Settings::kMuteNotificationsKey));
    EXPECT_TRUE(view->recordThisWindowBox()->isVisible());
    view->recordThisWindowBox()->click();
    EXPECT_TRUE(manager->includeBackreelWindow());
    // Full Screen mode with a window or region target hides it too: the target decides.
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(kNotes)));
    EXPECT_FALSE(view->recordThisWindowBox()->isVisible());
    manager->setCaptureTarget(CaptureTarget::region(QRectF(0, 0, 10, 10), kFirst));
    EXPECT_FALSE(view->recordThisWindowBox()->isVisible());
    manager->setCaptureTarget(CaptureTarget::display());
    EXPECT_TRUE(view->recordThisWindowBox()->isVisible());

    // Every new window starts in Full Screen mode; the manager's target stays as it was.
    manager->setCaptureTarget(CaptureTarget::region(QRectF(0, 0, 10, 10), kFirst));
    choose(section().captureModePicker(), 2);
    view.reset();
    openView();
    EXPECT_EQ(section().captureModePicker()->currentText(), QStringLiteral("Full Screen"));
    EXPECT_NE(manager->captureTarget().asRegion(), nullptr);
}

TEST_F(ContentViewTest, AlwaysOnTopIsStoredAndAppliedOnceTheWindowIsKnown) {
    make();
    BACKREEL_EVENTUALLY_TRUE(view->appWindow() != nullptr);
    EXPECT_FALSE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
    view->alwaysOnTopBox()->click();
    EXPECT_TRUE(Settings::boolValue(Settings::kAlwaysOnTopKey));
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(view->isVisible()) << "changing the level must not hide the window";

    // A new window reads the stored choice; changed before the window is handed over (one trip
    // through the event loop after the show), it is stored and applied then.
    view.reset();
    view = std::make_unique<ContentView>(*manager, picker, std::make_unique<test::ManualTimer>());
    EXPECT_TRUE(view->alwaysOnTopBox()->isChecked());
    view->alwaysOnTopBox()->click();
    view->alwaysOnTopBox()->click();
    EXPECT_TRUE(Settings::boolValue(Settings::kAlwaysOnTopKey));
    view->show();
    EXPECT_EQ(view->appWindow(), nullptr);
    BACKREEL_EVENTUALLY_EQ(view->appWindow(), view->windowHandle());
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
    view->alwaysOnTopBox()->click();
    EXPECT_FALSE(Settings::boolValue(Settings::kAlwaysOnTopKey));
    EXPECT_FALSE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
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
