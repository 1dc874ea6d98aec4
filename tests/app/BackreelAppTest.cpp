#include "app/BackreelApp.h"

#include "app/MenuBarContent.h"
#include "app/TrayIcon.h"
#include "app/UnsavedClipsQuestion.h"
#include "core/Settings.h"
#include "support/WidgetTest.h"
#include "ui/CaptureModeSelection.h"
#include "ui/CaptureTargetSection.h"
#include "ui/ContentView.h"

#include <QContextMenuEvent>

using namespace backreel;

namespace {

class BackreelAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
    }

    std::unique_ptr<BackreelApp> startApp(TrayPresence tray) {
        auto app = std::make_unique<BackreelApp>(
            recorder.platform, recorder.saveFlow,
            BackreelAppOptions{tray, QStringLiteral("0.1.0"),
                               QUrl(QStringLiteral("http://127.0.0.1:9/updates.xml")), nullptr});
        quit = std::make_unique<QSignalSpy>(app.get(), &BackreelApp::quitRequested);
        app->start();
        EXPECT_TRUE(app->mainWindow() != nullptr && QTest::qWaitForWindowExposed(app->mainWindow()));
        return app;
    }

    test::SyntheticRecorder recorder;
    std::unique_ptr<QSignalSpy> quit;
};

} // namespace

// First shown in the top-trailing corner; a right click opens the menu, the pick button the window
// picker on every screen (Esc closes it); closing the window quits.
TEST_F(BackreelAppTest, WithoutATrayTheWindowIsTheApplication) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::unavailable);
    EXPECT_EQ(app->trayIcon(), nullptr);
    ContentView* window = app->mainWindow();
    EXPECT_EQ(window->geometry().topRight(),
              QGuiApplication::primaryScreen()->availableGeometry().topRight());
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(30, 30), window->mapToGlobal(QPoint(30, 30)));
    QCoreApplication::sendEvent(window, &click);
    BACKREEL_EVENTUALLY_TRUE(app->menuBarContent().menu()->isVisible());
    app->menuBarContent().menu()->hide();

    window->captureSection()->chooseCaptureMode(CaptureModeSelection::window);
    BACKREEL_EVENTUALLY_TRUE(window->captureSection()->pickWindowButton()->isVisible());
    QTest::mouseClick(window->captureSection()->pickWindowButton(), Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(test::overlayViews(test::kPicker).size(), test::screenCount());
    QTest::keyClick(test::overlayViews(test::kPicker).front(), Qt::Key_Escape);
    BACKREEL_EVENTUALLY_TRUE(test::overlayViews(test::kPicker).empty());
    // The pick ends through a posted event, which must reach the picker while the application lives.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(app->recordingManager().captureTarget().asWindow()->filter.windowContent()->window.windowID,
              0u);

    window->close();
    EXPECT_EQ(quit->count(), 1);
}

TEST_F(BackreelAppTest, WithATrayClosingTheWindowKeepsBackreelRunning) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::available);
    ASSERT_NE(app->trayIcon(), nullptr);
    QPointer<ContentView> first = app->mainWindow();
    // The window and the tray follow the one manager; closed, the window leaves Backreel running.
    app->recordingManager().setStatus(RecordingStatus::buffering());
    EXPECT_EQ(first->mainButton()->text(), QStringLiteral("Stop && Save"));
    EXPECT_EQ(app->trayIcon()->shownStyle(), RecordIconEngine::Style::filled);
    first->move(300, 200);
    BACKREEL_EVENTUALLY_EQ(first->pos(), QPoint(300, 200));
    first->captureSection()->chooseCaptureMode(CaptureModeSelection::region);
    first->close();
    EXPECT_EQ(quit->count(), 0);
    BACKREEL_EVENTUALLY_TRUE(first.isNull() && app->mainWindow() == nullptr);

    // "Show Window" opens a new one where it was, in Full Screen mode; then brings it forward.
    app->menuBarContent().perform(MenuCommand::showWindow);
    ContentView* second = app->mainWindow();
    ASSERT_TRUE(second != nullptr && QTest::qWaitForWindowExposed(second));
    EXPECT_EQ(second->pos(), QPoint(300, 200));
    EXPECT_EQ(second->captureMode(), CaptureModeSelection::display);
    second->showMinimized();
    app->menuBarContent().perform(MenuCommand::showWindow);
    EXPECT_EQ(app->mainWindow(), second);
    EXPECT_TRUE(second->isVisible() && !second->isMinimized());

    app->menuBarContent().perform(MenuCommand::quit);
    EXPECT_EQ(quit->count(), 1);
}

TEST_F(BackreelAppTest, QuitWithAKeptClipAsksAndSaveWritesItFirst) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::available);
    RecordingManager& manager = app->recordingManager();
    recorder.saveFlow->outcome = RecordingStatus::error(QStringLiteral("Save failed: the disk is full."));
    QCoro::waitFor(manager.startRecording());
    BACKREEL_EVENTUALLY_TRUE(manager.session() && manager.session()->videoStore().count() >= 3);
    QCoro::waitFor(manager.stopAndSave());
    ASSERT_EQ(manager.unsavedClipsToAskAbout(), 1);
    recorder.saveFlow->outcome = RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/kept.mp4")));
    for (const bool save : {false, true}) {
        app->requestQuit();
        QMessageBox* box = app->unsavedClipsQuestion().box();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Backreel keeps 1 clip that is not saved."));
        const QList<QAbstractButton*> buttons = box->buttons();
        const auto saveButton = std::ranges::find(buttons, QStringLiteral("Save…"), &QAbstractButton::text);
        ASSERT_NE(saveButton, buttons.end());
        (save ? *saveButton : box->button(QMessageBox::Cancel))->click();
        if (!save) {
            BACKREEL_EVENTUALLY_TRUE(app->unsavedClipsQuestion().box() == nullptr);
            EXPECT_EQ(quit->count(), 0);
            EXPECT_TRUE(manager.hasUnsavedClip());
        }
    }
    BACKREEL_EVENTUALLY_EQ(quit->count(), 1);
    EXPECT_FALSE(manager.hasUnsavedClip());
    EXPECT_EQ(recorder.saveFlow->clips.size(), 2u);
}
