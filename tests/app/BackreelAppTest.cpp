#include "app/BackreelApp.h"

#include "app/MenuBarContent.h"
#include "app/TrayIcon.h"
#include "app/UpdateController.h"
#include "platform/Settings.h"
#include "support/WidgetTest.h"
#include "ui/CaptureModeSelection.h"
#include "ui/CaptureTargetSection.h"
#include "ui/ContentView.h"
#include "ui/RecordingStatusView.h"

#include <QContextMenuEvent>
#include <QPushButton>
#include <QSignalSpy>

using namespace backreel;

namespace {

class BackreelAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
    }

    // Started, with its window on screen.
    std::unique_ptr<BackreelApp> startApp(TrayPresence tray) {
        BackreelAppOptions options;
        options.tray = tray;
        options.version = QStringLiteral("0.1.0");
        options.feedUrl = QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
        auto app =
            std::make_unique<BackreelApp>(makeSyntheticPlatform(recorder.state),
                                          std::make_shared<test::SaveFlowStandIn>(recorder.state), options);
        quit = std::make_unique<QSignalSpy>(app.get(), &BackreelApp::quitRequested);
        app->start();
        EXPECT_TRUE(app->mainWindow() != nullptr && QTest::qWaitForWindowExposed(app->mainWindow()));
        return app;
    }

    test::SyntheticRecorder recorder{
        {test::display(1)},
        {backreel::Window{7, QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0, true}}};
    std::unique_ptr<QSignalSpy> quit;
};

} // namespace

TEST_F(BackreelAppTest, WithoutATrayTheWindowIsTheApplication) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::unavailable);
    EXPECT_EQ(app->trayIcon(), nullptr);
    ContentView* window = app->mainWindow();
    // First shown in the top-trailing corner of the screen.
    EXPECT_EQ(window->geometry().topRight(),
              QGuiApplication::primaryScreen()->availableGeometry().topRight());
    // A right click on the window opens the application menu.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(30, 30), window->mapToGlobal(QPoint(30, 30)));
    QCoreApplication::sendEvent(window, &click);
    BACKREEL_EVENTUALLY_TRUE(app->menuBarContent().menu()->isVisible());
    app->menuBarContent().menu()->hide();

    window->close();
    EXPECT_EQ(quit->count(), 1);
}

TEST_F(BackreelAppTest, WithATrayClosingTheWindowKeepsBackreelRunning) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::available);
    ASSERT_NE(app->trayIcon(), nullptr);
    EXPECT_EQ(app->trayIcon()->systemTrayIcon().contextMenu(), app->menuBarContent().menu());
    QPointer<ContentView> first = app->mainWindow();
    first->move(300, 200);
    BACKREEL_EVENTUALLY_EQ(first->pos(), QPoint(300, 200));
    first->captureSection()->chooseCaptureMode(CaptureModeSelection::region);
    first->close();
    EXPECT_EQ(quit->count(), 0);
    BACKREEL_EVENTUALLY_TRUE(first.isNull());
    EXPECT_EQ(app->mainWindow(), nullptr);

    // "Show Window" opens a new window where the old one was, in Full Screen mode again.
    app->menuBarContent().perform(MenuCommand::showWindow);
    ContentView* second = app->mainWindow();
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second));
    EXPECT_EQ(second->pos(), QPoint(300, 200));
    EXPECT_EQ(second->captureMode(), CaptureModeSelection::display);
    // While open, "Show Window" brings the same window forward, also out of being minimised.
    second->showMinimized();
    app->menuBarContent().perform(MenuCommand::showWindow);
    EXPECT_EQ(app->mainWindow(), second);
    EXPECT_TRUE(second->isVisible() && !second->isMinimized());

    app->menuBarContent().perform(MenuCommand::quit);
    EXPECT_EQ(quit->count(), 1);
}

TEST_F(BackreelAppTest, WindowMenuAndTrayShareTheOneManager) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::available);
    ContentView* window = app->mainWindow();
    EXPECT_EQ(app->updaterController().currentVersion(), QStringLiteral("0.1.0"));
    app->recordingManager().setStatus(RecordingStatus::buffering());
    EXPECT_EQ(window->mainButton()->text(), QStringLiteral("Stop && Save"));
    EXPECT_TRUE(test::menuLines(*app->menuBarContent().menu()).contains(QStringLiteral("Stop & Save")));
    EXPECT_EQ(app->trayIcon()->shownStyle(), RecordIconEngine::Style::filled);

    // Closing the window while "Saved!" shows returns to idle; the menu offers a start again.
    app->recordingManager().setStatus(
        RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/x.mp4"))));
    EXPECT_TRUE(window->statusView()->isReturnToReadyPending());
    window->close();
    EXPECT_EQ(app->recordingManager().status(), RecordingStatus::idle());
    EXPECT_TRUE(test::menuLines(*app->menuBarContent().menu()).contains(QStringLiteral("Start Recording")));
}

// The main window's pick and select buttons open the overlays on every screen; Esc closes them
// with the target unchanged.
TEST_F(BackreelAppTest, ThePickAndSelectButtonsOpenTheOverlays) {
    std::unique_ptr<BackreelApp> app = startApp(TrayPresence::unavailable);
    ContentView* window = app->mainWindow();
    struct Overlay {
        CaptureModeSelection mode;
        const char* button;
        const char* panel;
        const char* view;
    };
    for (const Overlay& overlay :
         {Overlay{CaptureModeSelection::window, "pickWindowButton", "windowPickerPanel", "windowPickerView"},
          Overlay{CaptureModeSelection::region, "selectRegionButton", "perScreenSelectorPanel",
                  "regionSelectorView"}}) {
        SCOPED_TRACE(overlay.panel);
        const QString panel = QString::fromLatin1(overlay.panel);
        window->captureSection()->chooseCaptureMode(overlay.mode);
        auto* button = window->findChild<QPushButton*>(QString::fromLatin1(overlay.button));
        ASSERT_NE(button, nullptr);
        BACKREEL_EVENTUALLY_TRUE(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        BACKREEL_EVENTUALLY_EQ(test::visiblePanels(panel).size(), test::screenCount());
        QTest::keyClick(
            test::visiblePanels(panel).front()->findChild<QWidget*>(QString::fromLatin1(overlay.view)),
            Qt::Key_Escape);
        BACKREEL_EVENTUALLY_TRUE(test::visiblePanels(panel).empty());
    }
    EXPECT_NE(app->recordingManager().captureTarget().asDisplay(), nullptr);
}
