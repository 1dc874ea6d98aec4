#include "app/GlobalHotkeys.h"
#include "app/KeyboardShortcutsDialog.h"
#include "app/RemoteControl.h"
#include "core/Settings.h"
#include "platform/null/NullGlobalShortcuts.h"
#include "platform/x11/X11GlobalShortcuts.h"
#include "support/ChildProcess.h"
#include "support/WidgetTest.h"

#include <QKeySequenceEdit>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

QKeySequence keys(const char* text) {
    return QKeySequence::fromString(QString::fromLatin1(text), QKeySequence::PortableText);
}

std::vector<ShortcutBinding> bind(GlobalShortcuts& shortcuts, std::vector<GlobalShortcut> wanted) {
    return QCoro::waitFor(shortcuts.bind(std::move(wanted)));
}

// Presses keys as a user would, through the X server's test extension.
void press(const char* keys) {
    ASSERT_TRUE(test::runProgram({"xdotool", "key", "--clearmodifiers", keys})) << keys;
}

// The default keys, and the recorder they drive.
class HotkeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        for (HotkeyAction action : kHotkeyActions) {
            Settings::setStringValue(hotkeySettingsKey(action), hotkeyToStored(defaultHotkey(action)));
        }
    }

    test::SyntheticRecorder recorder;
    std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    RemoteControl remote{*manager, {}, {}};
};

} // namespace

// Grabbed keys work whatever the lock keys, and do nothing once let go; keys another client holds are
// named, and the other shortcuts bind all the same.
TEST_F(HotkeyTest, X11KeysActivateTheirShortcutWithAnyLockStateAndTakenKeysAreNamed) {
    X11GlobalShortcuts shortcuts;
    ASSERT_EQ(shortcuts.unavailableReason(), std::nullopt);
    QSignalSpy activated(&shortcuts, &GlobalShortcuts::activated);
    EXPECT_EQ(
        bind(shortcuts, {{"save", "Save", keys("Ctrl+Alt+Shift+S")}, {"other", "Other", keys("Meta+F9")}}),
        (std::vector<ShortcutBinding>{{"save", std::nullopt}, {"other", std::nullopt}}));
    X11GlobalShortcuts second;
    EXPECT_EQ(bind(second, {{"save", "Save", keys("Ctrl+Alt+Shift+S")},
                            {"start", "Start", keys("Ctrl+Alt+Shift+B")}}),
              (std::vector<ShortcutBinding>{
                  {"save", QStringLiteral("Ctrl+Alt+Shift+S is taken by another program.")},
                  {"start", std::nullopt}}));

    press("ctrl+alt+shift+s");
    press("super+F9");
    BACKREEL_EVENTUALLY_EQ(activated.size(), 2);
    EXPECT_EQ(std::vector<QVariantList>(activated.begin(), activated.end()),
              (std::vector<QVariantList>{{QStringLiteral("save")}, {QStringLiteral("other")}}));

    for (const char* lock : {"Num_Lock", "Caps_Lock", "Num_Lock"}) {
        SCOPED_TRACE(lock);
        activated.clear();
        press(lock);
        press("ctrl+alt+shift+s");
        BACKREEL_EVENTUALLY_EQ(activated.size(), 1);
    }
    press("Caps_Lock");

    // Only "other" is left: its press arrives after a press of the old keys would have.
    bind(shortcuts, {{"other", "Other", keys("Meta+F9")}});
    activated.clear();
    press("ctrl+alt+shift+s");
    press("super+F9");
    BACKREEL_EVENTUALLY_EQ(activated.size(), 1);
    EXPECT_EQ(activated.front(), QVariantList{QStringLiteral("other")});
}

// The keys drive the recorder; the open dialog lets them go, stores changed keys, refuses or names
// what it cannot bind, and the keys chosen work once it is closed.
TEST_F(HotkeyTest, HotkeysDriveTheRecorderAndTheDialogChangesThem) {
    X11GlobalShortcuts shortcuts;
    GlobalHotkeys hotkeys(shortcuts, remote);
    QCoro::waitFor(hotkeys.bind());
    EXPECT_EQ(hotkeys.failure(HotkeyAction::startStop), std::nullopt);

    press("ctrl+alt+shift+b");
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
    BACKREEL_EVENTUALLY_TRUE(manager->session() && manager->session()->videoStore().count() >= 3);
    press("ctrl+alt+shift+s");
    BACKREEL_EVENTUALLY_EQ(recorder.saveFlow->clips.size(), 1U);
    EXPECT_EQ(manager->status().kind(), Kind::buffering) << "Save Clip keeps buffering";
    press("ctrl+alt+shift+b");
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::saved);
    EXPECT_EQ(recorder.saveFlow->clips.size(), 2U);

    X11GlobalShortcuts otherProgram;
    bind(otherProgram, {{"taken", "Taken", keys("Ctrl+Alt+F8")}});
    auto dialog = std::make_unique<KeyboardShortcutsDialog>(hotkeys);
    QSignalSpy changed(&hotkeys, &GlobalHotkeys::bindingsChanged);
    dialog->show();
    BACKREEL_EVENTUALLY_TRUE(!changed.isEmpty());
    EXPECT_FALSE(dialog->unavailableLabel()->isVisible());
    X11GlobalShortcuts whileOpen;
    EXPECT_EQ(bind(whileOpen, {{"save", "Save", keys("Ctrl+Alt+Shift+S")}}).front().failure, std::nullopt)
        << "the keys were let go while the dialog is open";
    bind(whileOpen, {});
    QKeySequenceEdit* startStop = dialog->keysField(HotkeyAction::startStop);
    startStop->setKeySequence(keys("Ctrl+Alt+F8"));
    emit startStop->editingFinished();
    BACKREEL_EVENTUALLY_TRUE(dialog->noteLabel(HotkeyAction::startStop)
                                 ->text()
                                 .contains(QStringLiteral("Ctrl+Alt+F8 is taken by another program.")));
    EXPECT_EQ(Settings::stringValue(Settings::kStartStopShortcutKey), QStringLiteral("Ctrl+Alt+F8"));

    QKeySequenceEdit* saveClip = dialog->keysField(HotkeyAction::saveClip);
    saveClip->setKeySequence(keys("S"));
    emit saveClip->editingFinished();
    EXPECT_TRUE(
        dialog->noteLabel(HotkeyAction::saveClip)->text().contains(QStringLiteral("add Ctrl, Alt or Super")));
    EXPECT_EQ(Settings::stringValue(Settings::kSaveClipShortcutKey), QStringLiteral("Ctrl+Alt+Shift+S"));

    startStop->setKeySequence(keys("Meta+F10"));
    emit startStop->editingFinished();
    dialog->close();
    BACKREEL_EVENTUALLY_EQ(hotkeys.keys(HotkeyAction::startStop), keys("Meta+F10"));
    press("super+F10");
    BACKREEL_EVENTUALLY_EQ(manager->status().kind(), Kind::buffering);
}

TEST_F(HotkeyTest, WithoutAShortcutServiceTheDialogPointsToTheCommandLine) {
    NullGlobalShortcuts none(QStringLiteral("This desktop does not let Backreel bind global shortcuts."));
    GlobalHotkeys hotkeys(none, remote);
    KeyboardShortcutsDialog dialog(hotkeys);
    dialog.show();
    EXPECT_TRUE(dialog.unavailableLabel()->isVisible());
    EXPECT_TRUE(dialog.unavailableLabel()->text().contains(QStringLiteral("backreel --save-clip")));
    EXPECT_FALSE(dialog.keysField(HotkeyAction::saveClip)->isEnabled());
}
