#include "ui/ContentView.h"

#include "core/Settings.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/WidgetTest.h"
#include "ui/CaptureTargetSection.h"
#include "ui/InfoRow.h"
#include "ui/LinkButton.h"
#include "ui/RecordingStatusView.h"
#include "ui/SettingsDialog.h"
#include "ui/SoundSettings.h"
#include "ui/StatusText.h"
#include "ui/TargetPicker.h"

using namespace backreel;
using test::display;

namespace {

const backreel::Window kNotes{42, QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0, true};
const CaptureTarget kWindowTarget = CaptureTarget::window(ContentFilter::window(kNotes));

// Counts the picks the main window asks for; the overlays are not part of these tests.
class CountingTargetPicker final : public TargetPicker {
public:
    QCoro::Task<> pickWindowTarget() override {
        ++picks;
        co_return;
    }
    QCoro::Task<> selectRegionTarget() override { return pickWindowTarget(); }
    int picks = 0;
};

// The main window, with a main display no screen shows and the primary screen's.
class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
        Settings::setBoolValue(Settings::kMuteNotificationsKey, false);
        view = std::make_unique<ContentView>(*manager, *recorder.settings, recorder.platform, picker,
                                             std::make_unique<test::ManualTimer>());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        BACKREEL_EVENTUALLY_TRUE(!manager->availableDisplays().empty() && view->appWindow() != nullptr);
    }
    CaptureTargetSection& section() { return *view->captureSection(); }
    static void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void chooseMode(int index) { choose(section().captureModePicker(), index); }

    const backreel::Display main = display(2, QStringLiteral("HDMI-9"));
    const backreel::Display primary = display(1, QGuiApplication::primaryScreen()->name());
    test::SyntheticRecorder recorder{{main, primary}, {kNotes}};
    std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    CountingTargetPicker picker;
    std::unique_ptr<ContentView> view;
};

} // namespace

// Buffering locks every setting but "Always on top"; Start in Window mode wants a picked window;
// the button starts on the main display and stops.
TEST_F(ContentViewTest, TheMainButtonAndTheSettingsFollowTheStatus) {
    const QWidget* settings[] = {view->durationPicker(),
                                 view->memoryLimitPicker(),
                                 section().captureModePicker(),
                                 section().screenPicker(),
                                 section().pickWindowButton(),
                                 section().selectRegionButton(),
                                 section().windowInfoRow()->button(),
                                 section().regionInfoRow()->button(),
                                 view->recordThisWindowBox(),
                                 view->muteNotificationsBox()};
    for (const bool buffering : {true, false}) {
        manager->setStatus(buffering ? RecordingStatus::buffering() : RecordingStatus::saving());
        EXPECT_EQ(view->mainButton()->text(),
                  buffering ? QStringLiteral("Stop && Save") : QStringLiteral("Saving…"));
        EXPECT_EQ(view->mainButton()->isEnabled(), buffering);
        for (const QWidget* control : settings) {
            EXPECT_EQ(control->isEnabled(), !buffering) << control->objectName().toStdString();
        }
        EXPECT_TRUE(view->alwaysOnTopBox()->isEnabled());
    }

    manager->setStatus(RecordingStatus::idle());
    chooseMode(1);
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(manager->status(), RecordingStatus::error(QStringLiteral("Pick a window first.")));
    EXPECT_EQ(recorder.state->lastSource(), nullptr);
    chooseMode(0);
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), RecordingStatus::Kind::buffering);
    EXPECT_EQ(recorder.state->lastSource()->filter().displayContent()->display, main);
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(view->mainButton()->text(), QStringLiteral("Start Recording"));
}

// Save Clip saves while buffering goes on, and the status line names the outcome. In the settings a
// sound choice is kept by name once its application stops playing; the estimate counts the microphone.
TEST_F(ContentViewTest, SaveClipTheStatusLineAfterItAndTheSoundSettings) {
    EXPECT_FALSE(view->saveClipButton()->isEnabled());
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_TRUE(manager->session() && manager->session()->videoStore().count() >= 3);
    for (const auto& [outcome, line] :
         {std::pair{RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/clips/a.mp4"))),
                    "Saved a.mp4"},
          std::pair{RecordingStatus::error(QStringLiteral("Save failed: read-only.")),
                    "Save failed: read-only."}}) {
        recorder.saveFlow->outcome = outcome;
        QTest::mouseClick(view->saveClipButton(), Qt::LeftButton);
        BACKREEL_EVENTUALLY_EQ(view->statusView()->clipSavesLabel()->text(), QString::fromUtf8(line));
        EXPECT_TRUE(view->statusView()->clipSavesLabel()->isVisibleTo(view.get()));
        EXPECT_EQ(manager->status().kind(), RecordingStatus::Kind::buffering);
    }

    EXPECT_TRUE(clipSavesLine(0, manager->lastClipOutcome(), false).isEmpty())
        << "once its ten seconds are over";

    QSignalSpy asked(view.get(), &ContentView::settingsRequested);
    QTest::mouseClick(view->settingsButton(), Qt::LeftButton);
    EXPECT_EQ(asked.size(), 1);
    SettingsDialog dialog(*recorder.settings, nullptr);
    dialog.askWhereToSaveBox()->click();
    dialog.freshBufferBox()->click();
    EXPECT_TRUE(recorder.settings->askWhereToSave() && recorder.settings->freshBufferAfterSave());
    recorder.settings->setAskWhereToSave(false);
    recorder.settings->setFreshBufferAfterSave(false);
    recorder.settings->setClipFolder(QStringLiteral("/tmp/clips"));
    dialog.defaultFolderButton()->click();
    EXPECT_TRUE(recorder.settings->clipFolder().isEmpty());
    SoundSettings& sound = *dialog.sound();
    EXPECT_FALSE(sound.problemLabel()->isHidden()) << "without a sound server it says so";
    sound.showInventory(AudioInventory{{{"usb", QStringLiteral("USB Mic")}},
                                       {{"firefox", QStringLiteral("Firefox"), QString()}}});
    choose(sound.systemSoundPicker(), 1);
    EXPECT_EQ(systemSoundInput(*recorder.settings), (AudioInput{AudioInput::Kind::application, "firefox"}));
    sound.showInventory(AudioInventory{});
    EXPECT_EQ(sound.systemSoundPicker()->currentText(), QStringLiteral("Firefox"));
    EXPECT_FALSE(sound.microphonePicker()->isEnabled());
    // At three minutes a second sound shows in the megabytes.
    QTest::mouseClick(view->mainButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(view->mainButton()->text(), QStringLiteral("Start Recording"));
    manager->setBufferDuration(RecordingDuration::threeMinutes);
    const QString before = view->bufferEstimateLabel()->text();
    sound.microphoneBox()->click();
    EXPECT_EQ(microphoneInput(*recorder.settings), (AudioInput{AudioInput::Kind::microphone, ""}));
    EXPECT_NE(view->bufferEstimateLabel()->text(), before);
    recorder.settings->setSoundApplication(QString(), QString());
    recorder.settings->setMicrophone(false);
}

TEST_F(ContentViewTest, EachModeShowsItsTargetAndFullScreenResetsIt) {
    chooseMode(1);
    QTest::mouseClick(section().pickWindowButton(), Qt::LeftButton);
    chooseMode(2);
    QTest::mouseClick(section().selectRegionButton(), Qt::LeftButton);
    chooseMode(0);
    QComboBox* screens = section().screenPicker();
    ASSERT_TRUE(screens->isVisible() && screens->count() == 2 && screens->currentIndex() == 0);
    EXPECT_EQ(manager->captureTarget(), CaptureTarget::display(main));

    manager->setCaptureTarget(kWindowTarget);
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("Notes"), kNotes.frame, 42, true});
    chooseMode(1);
    QTest::mouseClick(section().windowInfoRow()->button(), Qt::LeftButton);
    chooseMode(0);
    BACKREEL_EVENTUALLY_EQ(manager->captureTarget(), CaptureTarget::display(main));
    EXPECT_FALSE(manager->selectedWindowInfo().has_value());

    manager->setCaptureTarget(CaptureTarget::region(QRectF(0, 0, 1280.9, 720.2), primary));
    chooseMode(2);
    QTest::mouseClick(section().regionInfoRow()->button(), Qt::LeftButton);
    EXPECT_EQ(picker.picks, 4);
    chooseMode(0);
    BACKREEL_EVENTUALLY_EQ(manager->captureTarget(), CaptureTarget::display(main));
    choose(screens, 1);
    EXPECT_EQ(manager->captureTarget(), CaptureTarget::display(primary));
}

// The pickers and options are the manager's or the settings'; a new window applies "Always on top"
// once its window is known; the panel is moved by dragging its background.
TEST_F(ContentViewTest, OptionsAndANewWindow) {
    choose(view->durationPicker(), 2);
    EXPECT_EQ(manager->bufferDuration(), RecordingDuration::oneMinute);
    manager->setBufferDuration(RecordingDuration::threeMinutes);
    EXPECT_EQ(view->durationPicker()->currentIndex(), 3);
    const QString estimate = view->bufferEstimateLabel()->text();
    choose(view->memoryLimitPicker(), 0);
    EXPECT_EQ(recorder.settings->memoryLimit(), MemoryLimit(512 * MemoryLimit::kMebibyte));
    recorder.settings->setMemoryLimit(MemoryLimit(100'000'000)); // not one the picker offers
    EXPECT_EQ(view->memoryLimitPicker()->currentText(), QStringLiteral("100 MB"));
    EXPECT_NE(view->bufferEstimateLabel()->text(), estimate);
    view->muteNotificationsBox()->click();
    view->recordThisWindowBox()->click();
    EXPECT_TRUE(recorder.settings->muteNotifications() && manager->includeBackreelWindow());
    manager->setCaptureTarget(kWindowTarget);
    EXPECT_FALSE(view->recordThisWindowBox()->isVisible());
    view->alwaysOnTopBox()->click();
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));

    view = std::make_unique<ContentView>(*manager, *recorder.settings, recorder.platform, picker,
                                         std::make_unique<test::ManualTimer>());
    view->show();
    EXPECT_NE(manager->captureTarget().asWindow(), nullptr) << "the target is left as it was";
    EXPECT_TRUE(view->alwaysOnTopBox()->isChecked() && view->appWindow() == nullptr);
    BACKREEL_EVENTUALLY_EQ(view->appWindow(), view->windowHandle());
    EXPECT_TRUE(view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));
    view->alwaysOnTopBox()->click();
    EXPECT_FALSE(Settings::boolValue(Settings::kAlwaysOnTopKey) ||
                 view->appWindow()->flags().testFlag(Qt::WindowStaysOnTopHint));

    BACKREEL_EVENTUALLY_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->move(200, 150);
    BACKREEL_EVENTUALLY_EQ(view->pos(), QPoint(200, 150));
    const QPoint grab(ContentView::kPadding / 2, view->height() / 2);
    QTest::mousePress(view.get(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(view.get(), grab + QPoint(60, 40));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, grab + QPoint(60, 40));
    BACKREEL_EVENTUALLY_EQ(view->pos(), QPoint(260, 190));
}
