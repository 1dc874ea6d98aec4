// Global shortcuts through the real xdg-desktop-portal and the test backend, which presses them.

#include "app/GlobalHotkeys.h"
#include "app/RemoteControl.h"
#include "core/Settings.h"
#include "platform/portal/PortalGlobalShortcuts.h"
#include "PortalTestSupport.h"

namespace backreel::test {

static std::vector<GlobalShortcut> defaultShortcuts() {
    std::vector<GlobalShortcut> shortcuts;
    for (HotkeyAction action : kHotkeyActions) {
        shortcuts.push_back({hotkeyId(action), hotkeyTitle(action), defaultHotkey(action)});
    }
    return shortcuts;
}

static std::vector<ShortcutBinding> bindAll(GlobalShortcuts& shortcuts, std::vector<GlobalShortcut> wanted) {
    return QCoro::waitFor(shortcuts.bind(std::move(wanted)));
}

// The default shortcuts as the test portal lists them bound, Save Clip's keys as given.
static QStringList boundDefaults(const char* saveClip = "CTRL+ALT+SHIFT+s") {
    return {QStringLiteral("mark=CTRL+ALT+SHIFT+m"), QStringLiteral("review=CTRL+ALT+SHIFT+v"),
            QStringLiteral("save-clip=") + QLatin1String(saveClip),
            QStringLiteral("start-stop=CTRL+ALT+SHIFT+b")};
}

// Every default shortcut's binding: bound, or failed for this reason.
static std::vector<ShortcutBinding> everyShortcut(const std::optional<QString>& failure) {
    std::vector<ShortcutBinding> bindings;
    for (HotkeyAction action : kHotkeyActions) {
        bindings.push_back({hotkeyId(action), failure});
    }
    return bindings;
}

using PortalShortcutsTest = PortalTest;

TEST_F(PortalShortcutsTest, TheDefaultsAreBoundPressedAndReplacedAndACancelFailsThem) {
    PortalGlobalShortcuts shortcuts;
    QSignalSpy activated(&shortcuts, &GlobalShortcuts::activated);
    EXPECT_EQ(bindAll(shortcuts, defaultShortcuts()), everyShortcut(std::nullopt));
    EXPECT_EQ(shortcuts.unavailableReason(), std::nullopt);
    EXPECT_EQ(portal_.boundShortcuts(), boundDefaults());

    EXPECT_EQ(portal_.activate(QStringLiteral("save-clip")), 1U);
    BACKREEL_EVENTUALLY_EQ(activated.size(), 1);
    EXPECT_EQ(activated.front(), QVariantList{QStringLiteral("save-clip")});

    // The same shortcuts again ask the desktop nothing; others replace them in a new session.
    portal_.setNextAnswer(QStringLiteral("cancel"));
    EXPECT_EQ(bindAll(shortcuts, defaultShortcuts()).front().failure, std::nullopt);
    portal_.setNextAnswer(QStringLiteral("choose"));
    const std::vector<ShortcutBinding> rebound = bindAll(
        shortcuts,
        {{QStringLiteral("save-clip"), QStringLiteral("Save Clip"), QKeySequence(QStringLiteral("Meta+F9"))},
         {QStringLiteral("start-stop"), QStringLiteral("Start/Stop"), QKeySequence()}});
    EXPECT_EQ(rebound.at(0).failure, std::nullopt);
    EXPECT_EQ(rebound.at(1).failure, std::nullopt) << "no keys: nothing to bind";
    BACKREEL_EVENTUALLY_EQ(portal_.boundShortcuts(), QStringList{QStringLiteral("save-clip=LOGO+F9")});
    activated.clear();
    EXPECT_EQ(portal_.activate(QStringLiteral("save-clip")), 1U);
    EXPECT_EQ(portal_.activate(QStringLiteral("start-stop")), 0U);
    BACKREEL_EVENTUALLY_EQ(activated.size(), 1);

    bindAll(shortcuts, {});
    BACKREEL_EVENTUALLY_TRUE(portal_.boundShortcuts().empty());

    // A cancelled confirmation fails every shortcut, with the reason; asking again binds them.
    portal_.setNextAnswer(QStringLiteral("cancel"));
    const QString cancelled = QStringLiteral("The desktop's shortcut dialog was cancelled.");
    EXPECT_EQ(bindAll(shortcuts, defaultShortcuts()), everyShortcut(cancelled));
    BACKREEL_EVENTUALLY_TRUE(portal_.boundShortcuts().empty());
    EXPECT_EQ(portal_.activate(QStringLiteral("save-clip")), 0U);

    EXPECT_EQ(bindAll(shortcuts, defaultShortcuts()).front().failure, std::nullopt);
    EXPECT_EQ(portal_.boundShortcuts(), boundDefaults());
}

// The open dialog lets the keys go without asking the desktop; it is asked once when the dialog closes.
TEST_F(PortalShortcutsTest, TheOpenDialogLetsTheKeysGoAndItsChangesAreAskedForOnce) {
    for (HotkeyAction action : kHotkeyActions) {
        Settings::setStringValue(hotkeySettingsKey(action), hotkeyToStored(defaultHotkey(action)));
    }
    const SyntheticRecorder recorder;
    const std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    RemoteControl remote(*manager, {}, {});
    PortalGlobalShortcuts shortcuts;
    GlobalHotkeys hotkeys(shortcuts, remote);
    QCoro::waitFor(hotkeys.bind());
    const unsigned asked = portal_.dialogsShown();

    QCoro::waitFor(hotkeys.setSuspended(true));
    BACKREEL_EVENTUALLY_TRUE(portal_.boundShortcuts().empty());
    QCoro::waitFor(hotkeys.setKeys(HotkeyAction::saveClip, QKeySequence(QStringLiteral("Meta+F9"))));
    EXPECT_TRUE(portal_.boundShortcuts().empty());
    EXPECT_EQ(portal_.dialogsShown(), asked);

    QCoro::waitFor(hotkeys.setSuspended(false));
    EXPECT_EQ(portal_.dialogsShown(), asked + 1);
    EXPECT_EQ(portal_.boundShortcuts(), boundDefaults("LOGO+F9"));
}

TEST(PortalShortcutsWithoutPortal, EveryShortcutFailsWithTheReason) {
    if (TestPortal().available()) {
        GTEST_SKIP() << "for a desktop without the test portal";
    }
    PortalGlobalShortcuts shortcuts;
    EXPECT_EQ(shortcuts.unavailableReason(), std::nullopt) << "not known before the first bind";
    std::vector<GlobalShortcut> wanted = defaultShortcuts();
    wanted.push_back({QStringLiteral("none"), QStringLiteral("None"), QKeySequence()});
    std::vector<ShortcutBinding> failed = everyShortcut(kNoGlobalShortcutsMessage);
    failed.push_back({QStringLiteral("none"), std::nullopt});
    EXPECT_EQ(bindAll(shortcuts, wanted), failed);
    EXPECT_EQ(shortcuts.unavailableReason(), kNoGlobalShortcutsMessage);
}

} // namespace backreel::test
