#include "app/MenuBarContent.h"

#include "app/UpdateController.h"
#include "capture/RecordingManager.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/WidgetTest.h"

#include <gtest/gtest.h>
#include <QSignalSpy>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

// An item's text as the menu shows it ("&&" is a literal '&').
QString shown(const QAction* action) {
    return QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
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

    // The menu as the user sees it: one line per visible item, "-" for a separator.
    QStringList lines() const {
        QStringList result;
        for (const QAction* action : content->menu()->actions()) {
            if (action->isVisible()) {
                result << (action->isSeparator() ? QStringLiteral("-") : shown(action));
            }
        }
        return result;
    }

    QAction* item(const QString& text) const {
        for (QAction* action : content->menu()->actions()) {
            if (action->isVisible() && shown(action) == text) {
                return action;
            }
        }
        ADD_FAILURE() << "no item " << text.toStdString();
        return nullptr;
    }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    std::unique_ptr<UpdateController> updates;
    std::unique_ptr<MenuBarContent> content;
    int shows = 0;
    int quits = 0;
};

} // namespace

TEST_F(MenuBarContentTest, TheRecordingItemFollowsTheStatusBetweenFixedItems) {
    const std::pair<RecordingStatus, const char*> rows[] = {
        {RecordingStatus::idle(), "Start Recording"},
        {RecordingStatus::buffering(), "Stop & Save"},
        {RecordingStatus::saving(), "Saving…"},
        {RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))), "Start Recording"},
        {RecordingStatus::error(QStringLiteral("No display found.")), "Start Recording"},
    };
    for (const auto& [status, recording] : rows) {
        SCOPED_TRACE(recording);
        manager->setStatus(status);
        EXPECT_EQ(lines(), (QStringList{QStringLiteral("Show Window"), QStringLiteral("-"),
                                        QString::fromUtf8(recording), QStringLiteral("-"),
                                        QStringLiteral("Check for Updates…"), QStringLiteral("-"),
                                        QStringLiteral("Quit Backreel")}));
        for (const QAction* action : content->menu()->actions()) {
            // No shortcut, not even one marked by an '&' in the text.
            EXPECT_TRUE(action->shortcut().isEmpty() && QKeySequence::mnemonic(action->text()).isEmpty())
                << action->text().toStdString();
            // "Saving…" is a line of text, every other item a command.
            if (action->isVisible() && !action->isSeparator()) {
                EXPECT_EQ(action->isEnabled(), shown(action) != QStringLiteral("Saving…"));
            }
        }
    }
    manager->setStatus(RecordingStatus::saving());
    item(QStringLiteral("Saving…"))->trigger();
    EXPECT_EQ(manager->status(), RecordingStatus::saving());
}

TEST_F(MenuBarContentTest, CommandsDoWhatTheySay) {
    item(QStringLiteral("Show Window"))->trigger();
    EXPECT_EQ(shows, 1);
    item(QStringLiteral("Quit Backreel"))->trigger();
    EXPECT_EQ(quits, 1);

    // Start and stop return at once; the status moves when the manager gets there.
    item(QStringLiteral("Start Recording"))->trigger();
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    item(QStringLiteral("Stop & Save"))->trigger();
    BACKREEL_EVENTUALLY_TRUE(!manager->status().is(Kind::buffering) && !manager->status().is(Kind::saving));
    EXPECT_TRUE(lines().contains(QStringLiteral("Start Recording")));

    // So does the update check, which reports later.
    QSignalSpy finished(updates.get(), &UpdateController::checkFinished);
    item(QStringLiteral("Check for Updates…"))->trigger();
    EXPECT_TRUE(updates->isChecking());
    ASSERT_TRUE(finished.wait(10'000));
    if (updates->resultDialog() != nullptr) {
        updates->resultDialog()->close();
    }
}
