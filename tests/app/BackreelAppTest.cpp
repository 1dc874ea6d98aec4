#include "app/BackreelApp.h"

#include "app/MenuBarContent.h"
#include "app/TrayIcon.h"
#include "app/UpdateController.h"
#include "capture/RecordingManager.h"
#include "platform/Settings.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"
#include "ui/CaptureModeSelection.h"
#include "ui/CaptureTargetSection.h"
#include "ui/ContentView.h"
#include "ui/RecordingStatusView.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

class BackreelAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
        SyntheticOptions options;
        options.content.displays = {
            backreel::Display{1, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-1")}};
        options.mainDisplayID = 1;
        state = std::make_shared<SyntheticState>(options);
    }

    std::unique_ptr<BackreelApp> makeApp(TrayPresence tray) {
        BackreelAppOptions options;
        options.tray = tray;
        options.version = QStringLiteral("0.1.0");
        options.feedUrl = QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
        return std::make_unique<BackreelApp>(makeSyntheticPlatform(state),
                                             std::make_shared<test::SaveFlowStandIn>(state), options);
    }

    static QStringList visibleMenu(const BackreelApp& app) {
        QStringList lines;
        for (const QAction* action : app.menuBarContent().menu()->actions()) {
            if (action->isVisible() && !action->isSeparator()) {
                lines << QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
            }
        }
        return lines;
    }

    std::shared_ptr<SyntheticState> state;
};

} // namespace

TEST_F(BackreelAppTest, WithoutATrayTheWindowIsTheApplication) {
    std::unique_ptr<BackreelApp> app = makeApp(TrayPresence::unavailable);
    QSignalSpy quit(app.get(), &BackreelApp::quitRequested);
    app->start();
    EXPECT_EQ(app->trayIcon(), nullptr);
    ContentView* window = app->mainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    // First shown in the top-trailing corner of the screen.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->geometry().topRight(), available.topRight());

    window->close();
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(BackreelAppTest, WithATrayClosingTheWindowKeepsBackreelRunning) {
    std::unique_ptr<BackreelApp> app = makeApp(TrayPresence::available);
    QSignalSpy quit(app.get(), &BackreelApp::quitRequested);
    EXPECT_EQ(app->trayIcon(), nullptr);
    app->start();
    // The window comes first, then the tray item with the application menu.
    ASSERT_NE(app->trayIcon(), nullptr);
    EXPECT_EQ(app->trayIcon()->systemTrayIcon().contextMenu(), app->menuBarContent().menu());
    QPointer<ContentView> first = app->mainWindow();
    ASSERT_TRUE(first);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first.data()));
    first->move(300, 200);
    BACKREEL_EVENTUALLY_EQ(first->pos(), QPoint(300, 200));
    first->captureSection()->chooseCaptureMode(CaptureModeSelection::region);

    first->close();
    EXPECT_EQ(quit.count(), 0);
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
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(second->isMinimized());
}

TEST_F(BackreelAppTest, QuitFromTheMenu) {
    std::unique_ptr<BackreelApp> app = makeApp(TrayPresence::available);
    QSignalSpy quit(app.get(), &BackreelApp::quitRequested);
    app->menuBarContent().perform(MenuCommand::quit);
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(BackreelAppTest, WindowMenuAndTrayShareTheOneManager) {
    std::unique_ptr<BackreelApp> app = makeApp(TrayPresence::available);
    app->start();
    ContentView* window = app->mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(app->updaterController().currentVersion(), QStringLiteral("0.1.0"));

    app->recordingManager().setStatus(RecordingStatus::buffering());
    EXPECT_EQ(window->mainButton()->text(), QStringLiteral("Stop && Save"));
    EXPECT_TRUE(visibleMenu(*app).contains(QStringLiteral("Stop & Save")));
    EXPECT_EQ(app->trayIcon()->shownStyle(), RecordIconEngine::Style::filled);

    // Closing the window while "Saved!" shows returns to idle; the menu offers a start again.
    app->recordingManager().setStatus(
        RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/x.mp4"))));
    EXPECT_TRUE(window->statusView()->isReturnToReadyPending());
    window->close();
    EXPECT_EQ(app->recordingManager().status(), RecordingStatus::idle());
    EXPECT_TRUE(visibleMenu(*app).contains(QStringLiteral("Start Recording")));
}

TEST_F(BackreelAppTest, ARightClickOnTheWindowOpensTheApplicationMenu) {
    std::unique_ptr<BackreelApp> app = makeApp(TrayPresence::unavailable);
    app->start();
    ContentView* window = app->mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    emit window->menuRequested(window->mapToGlobal(QPoint(30, 30)));
    BACKREEL_EVENTUALLY_TRUE(app->menuBarContent().menu()->isVisible());
    app->menuBarContent().menu()->hide();
}

// The main window's pick and select buttons open the overlays on every screen.
TEST_F(BackreelAppTest, ThePickAndSelectButtonsOpenTheOverlays) {
    state->changeOptions([](SyntheticOptions& options) {
        options.content.windows = {
            backreel::Window{7, QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0, true}};
    });
    std::unique_ptr<BackreelApp> app = makeApp(TrayPresence::unavailable);
    app->start();
    ContentView* window = app->mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const auto overlayPanels = [](const QString& name) {
        std::vector<QWidget*> panels;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible()) {
                panels.push_back(widget);
            }
        }
        return panels;
    };
    const auto screens = static_cast<std::size_t>(QGuiApplication::screens().size());

    window->captureSection()->chooseCaptureMode(CaptureModeSelection::window);
    auto* pick = window->findChild<QPushButton*>(QStringLiteral("pickWindowButton"));
    ASSERT_NE(pick, nullptr);
    BACKREEL_EVENTUALLY_TRUE(pick->isVisible());
    QTest::mouseClick(pick, Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(overlayPanels(QStringLiteral("windowPickerPanel")).size(), screens);
    QTest::keyClick(overlayPanels(QStringLiteral("windowPickerPanel"))
                        .front()
                        ->findChild<QWidget*>(QStringLiteral("windowPickerView")),
                    Qt::Key_Escape);
    BACKREEL_EVENTUALLY_TRUE(overlayPanels(QStringLiteral("windowPickerPanel")).empty());
    EXPECT_EQ(app->recordingManager().captureTarget().asWindow(), nullptr);

    window->captureSection()->chooseCaptureMode(CaptureModeSelection::region);
    auto* select = window->findChild<QPushButton*>(QStringLiteral("selectRegionButton"));
    ASSERT_NE(select, nullptr);
    BACKREEL_EVENTUALLY_TRUE(select->isVisible());
    QTest::mouseClick(select, Qt::LeftButton);
    BACKREEL_EVENTUALLY_EQ(overlayPanels(QStringLiteral("perScreenSelectorPanel")).size(), screens);
    QWidget* view = overlayPanels(QStringLiteral("perScreenSelectorPanel"))
                        .front()
                        ->findChild<QWidget*>(QStringLiteral("regionSelectorView"));
    QTest::keyClick(view, Qt::Key_Escape);
    BACKREEL_EVENTUALLY_TRUE(overlayPanels(QStringLiteral("perScreenSelectorPanel")).empty());
    EXPECT_EQ(app->recordingManager().captureTarget().asRegion(), nullptr);
}
