#include "app/MenuBarContent.h"

#include "app/UpdateController.h"
#include "support/WidgetTest.h"

#include <QSignalSpy>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

class MenuBarContentTest : public ::testing::Test {
protected:
    QStringList lines() const { return test::menuLines(*content.menu()); }
    QAction* item(const QString& text) const {
        QList<QAction*> visible = content.menu()->actions();
        visible.removeIf([](const QAction* action) { return !action->isVisible(); });
        EXPECT_TRUE(lines().contains(text)) << text.toStdString();
        return visible.value(lines().indexOf(text));
    }

    std::unique_ptr<RecordingManager> manager = test::SyntheticRecorder().makeManager();
    // A feed nobody serves: the check fails at once without leaving the machine.
    UpdateController updates{QStringLiteral("0.1.0"), QUrl(QStringLiteral("http://127.0.0.1:9/"))};
    int shows = 0;
    int quits = 0;
    MenuBarContent content{*manager, updates, [this] { ++shows; },
                           [this] {
                               ++quits;
                           }};
};

} // namespace

// The recording item follows the status between fixed items; "Saving…" is a line of text, every
// other item a command; no item has a shortcut, not even one an '&' in its text would make.
TEST_F(MenuBarContentTest, TheRecordingItemFollowsTheStatusBetweenFixedItems) {
    for (const auto& [status, recording] :
         {std::pair{RecordingStatus::idle(), "Start Recording"},
          std::pair{RecordingStatus::buffering(), "Stop & Save"},
          std::pair{RecordingStatus::saving(), "Saving…"},
          std::pair{RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))),
                    "Start Recording"},
          std::pair{RecordingStatus::error(QStringLiteral("No display found.")), "Start Recording"}}) {
        manager->setStatus(status);
        EXPECT_EQ(lines(), (QStringList{QStringLiteral("Show Window"), QStringLiteral("-"),
                                        QString::fromUtf8(recording), QStringLiteral("-"),
                                        QStringLiteral("Check for Updates…"), QStringLiteral("-"),
                                        QStringLiteral("Quit Backreel")}));
        for (const QAction* action : content.menu()->actions()) {
            EXPECT_TRUE(action->shortcut().isEmpty() && QKeySequence::mnemonic(action->text()).isEmpty());
            if (action->isVisible() && !action->isSeparator()) {
                EXPECT_EQ(action->isEnabled(), !action->text().startsWith(QStringLiteral("Saving")));
            }
        }
    }
    manager->setStatus(RecordingStatus::saving());
    item(QStringLiteral("Saving…"))->trigger();
    EXPECT_EQ(manager->status(), RecordingStatus::saving());
}

// Every command returns at once; the status moves when the manager gets there, and the update
// check reports later.
TEST_F(MenuBarContentTest, CommandsDoWhatTheySay) {
    item(QStringLiteral("Show Window"))->trigger();
    item(QStringLiteral("Quit Backreel"))->trigger();
    EXPECT_TRUE(shows == 1 && quits == 1);
    item(QStringLiteral("Start Recording"))->trigger();
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    item(QStringLiteral("Stop & Save"))->trigger();
    BACKREEL_EVENTUALLY_TRUE(lines().contains(QStringLiteral("Start Recording")));

    QSignalSpy finished(&updates, &UpdateController::checkFinished);
    item(QStringLiteral("Check for Updates…"))->trigger();
    EXPECT_TRUE(updates.isChecking());
    ASSERT_TRUE(finished.wait(10'000));
    if (updates.resultDialog() != nullptr) {
        updates.resultDialog()->close();
    }
}
