#include "app/MenuBarContent.h"

#include "app/MenuItems.h"
#include "app/UpdateController.h"
#include "capture/RecordingManager.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

const RecordingStatus kStatuses[] = {
    RecordingStatus::idle(),
    RecordingStatus::buffering(),
    RecordingStatus::saving(),
    RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))),
    RecordingStatus::error(QStringLiteral("No display found.")),
};

// The item the recording slot shows for a status.
const char* recordingItem(Kind status) {
    switch (status) {
    case Kind::buffering:
        return "Stop & Save";
    case Kind::saving:
        return "Saving…";
    default:
        return "Start Recording";
    }
}

// An item's text as the menu shows it ("&&" is a literal '&').
QString shown(const QAction* action) {
    return QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// The menu as the user sees it: one line per visible action, "-" for a separator.
QStringList visibleLines(const QMenu& menu) {
    QStringList lines;
    for (const QAction* action : menu.actions()) {
        if (action->isVisible()) {
            lines << (action->isSeparator() ? QStringLiteral("-") : shown(action));
        }
    }
    return lines;
}

QAction* visibleAction(const QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->isVisible() && shown(action) == text) {
            return action;
        }
    }
    return nullptr;
}

class MenuBarContentTest : public ::testing::Test {
protected:
    void SetUp() override {
        SyntheticOptions options;
        options.content.displays = {
            backreel::Display{1, 640, 480, QRectF(0, 0, 640, 480), QStringLiteral("VIRT-1")}};
        options.mainDisplayID = 1;
        state = std::make_shared<SyntheticState>(options);
        manager = std::make_unique<RecordingManager>(makeSyntheticPlatform(state),
                                                     std::make_shared<test::SaveFlowStandIn>(state));
        // A feed nobody serves: the check fails quickly without leaving the machine.
        updates = std::make_unique<UpdateController>(QStringLiteral("0.1.0"),
                                                     QUrl(QStringLiteral("http://127.0.0.1:9/")));
        content = std::make_unique<MenuBarContent>(
            *manager, *updates, [this] { ++shows; }, [this] { ++quits; });
    }
    void TearDown() override {
        content.reset();
        updates.reset();
        manager.reset();
    }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    std::unique_ptr<UpdateController> updates;
    std::unique_ptr<MenuBarContent> content;
    int shows = 0;
    int quits = 0;
};

} // namespace

TEST(MenuItems, OneRecordingItemPerStatusBetweenFixedItems) {
    for (const RecordingStatus& status : kStatuses) {
        const std::vector<MenuItem> items = menuItems(status.kind());
        ASSERT_EQ(items.size(), 7u);
        EXPECT_EQ(items[0], (MenuItem{MenuItem::Kind::command, QStringLiteral("Show Window"),
                                      MenuCommand::showWindow}));
        EXPECT_EQ(items[1].kind, MenuItem::Kind::separator);
        EXPECT_EQ(items[2].title, QString::fromUtf8(recordingItem(status.kind())));
        EXPECT_EQ(items[3].kind, MenuItem::Kind::separator);
        EXPECT_EQ(items[4], (MenuItem{MenuItem::Kind::command, QStringLiteral("Check for Updates…"),
                                      MenuCommand::checkForUpdates}));
        EXPECT_EQ(items[5].kind, MenuItem::Kind::separator);
        EXPECT_EQ(items[6],
                  (MenuItem{MenuItem::Kind::command, QStringLiteral("Quit Backreel"), MenuCommand::quit}));
    }
    EXPECT_EQ(menuItems(Kind::idle)[2].command, MenuCommand::startRecording);
    EXPECT_EQ(menuItems(Kind::buffering)[2].command, MenuCommand::stopAndSave);
    EXPECT_EQ(menuItems(Kind::saving)[2].kind, MenuItem::Kind::text);
}

TEST_F(MenuBarContentTest, MenuFollowsEachOfTheFiveStatuses) {
    for (const RecordingStatus& status : kStatuses) {
        manager->setStatus(status);
        const QString recording = QString::fromUtf8(recordingItem(status.kind()));
        SCOPED_TRACE(recording.toStdString());
        EXPECT_EQ(visibleLines(*content->menu()),
                  (QStringList{QStringLiteral("Show Window"), QStringLiteral("-"), recording,
                               QStringLiteral("-"), QStringLiteral("Check for Updates…"), QStringLiteral("-"),
                               QStringLiteral("Quit Backreel")}));
        for (const QAction* action : content->menu()->actions()) {
            // No shortcut, not even one marked by an '&' in the text.
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
            EXPECT_TRUE(QKeySequence::mnemonic(action->text()).isEmpty()) << action->text().toStdString();
            if (action->isVisible() && !action->isSeparator()) {
                // "Saving…" is a line of text, every other item a command; the update check is always on.
                EXPECT_EQ(action->isEnabled(), shown(action) != QStringLiteral("Saving…"))
                    << action->text().toStdString();
            }
        }
    }
}

TEST_F(MenuBarContentTest, CommandsDoWhatTheySay) {
    visibleAction(*content->menu(), QStringLiteral("Show Window"))->trigger();
    EXPECT_EQ(shows, 1);
    visibleAction(*content->menu(), QStringLiteral("Quit Backreel"))->trigger();
    EXPECT_EQ(quits, 1);

    // Start returns at once; the status moves when the manager gets there.
    visibleAction(*content->menu(), QStringLiteral("Start Recording"))->trigger();
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    EXPECT_NE(visibleAction(*content->menu(), QStringLiteral("Stop & Save")), nullptr);
    EXPECT_EQ(visibleAction(*content->menu(), QStringLiteral("Start Recording")), nullptr);
    QTest::qWait(300);
    visibleAction(*content->menu(), QStringLiteral("Stop & Save"))->trigger();
    BACKREEL_EVENTUALLY_TRUE(!manager->status().is(Kind::buffering) && !manager->status().is(Kind::saving));
    EXPECT_NE(visibleAction(*content->menu(), QStringLiteral("Start Recording")), nullptr);

    // The update check returns at once and reports later.
    QSignalSpy finished(updates.get(), &UpdateController::checkFinished);
    visibleAction(*content->menu(), QStringLiteral("Check for Updates…"))->trigger();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(updates->isChecking());
    BACKREEL_EVENTUALLY_EQ(finished.count(), 1);
    if (updates->resultDialog() != nullptr) {
        updates->resultDialog()->close();
    }
}

TEST_F(MenuBarContentTest, SavingIsNotACommand) {
    manager->setStatus(RecordingStatus::saving());
    QAction* saving = visibleAction(*content->menu(), QStringLiteral("Saving…"));
    ASSERT_NE(saving, nullptr);
    EXPECT_FALSE(saving->isEnabled());
    saving->trigger();
    EXPECT_EQ(manager->status(), RecordingStatus::saving());
}
