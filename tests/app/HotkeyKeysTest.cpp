#include "app/HotkeyKeys.h"

#include "platform/x11/X11Keys.h"

#include <gtest/gtest.h>
#include <xcb/xproto.h>

using namespace backreel;

static QKeySequence keys(const char* text) {
    return QKeySequence::fromString(QString::fromLatin1(text), QKeySequence::PortableText);
}

// Letters by their unshifted symbol, launch keys by the X symbols Qt names; a modifier alone has none.
// A grab holds whatever the lock keys; a press matches whatever the lock keys and mouse buttons.
TEST(HotkeyKeys, QtKeysBecomeXSymbolsGrabbedWhateverTheLockKeys) {
    const std::pair<Qt::Key, std::optional<std::uint32_t>> rows[] = {
        {Qt::Key_S, 0x73},
        {Qt::Key_Launch0, 0x1008ff33}, // the My Computer key
        {Qt::Key_Launch1, 0x1008ff1d}, // the Calculator key
        {Qt::Key_Shift, std::nullopt},
    };
    for (const auto& [key, symbol] : rows) {
        EXPECT_EQ(x11::keySymbolForQtKey(key), symbol) << key;
    }

    constexpr std::uint16_t lock = XCB_MOD_MASK_LOCK;
    constexpr std::uint16_t numLock = XCB_MOD_MASK_2;
    const std::uint16_t ctrlAltShift =
        x11::modifierMask(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::KeypadModifier);

    EXPECT_EQ(x11::lockVariants(numLock), (std::vector<std::uint16_t>{0, lock, numLock, numLock | lock}));
    EXPECT_EQ(x11::lockVariants(0), (std::vector<std::uint16_t>{0, lock}));

    for (const std::uint16_t extra :
         std::vector<std::uint16_t>{0, lock, numLock, numLock | lock, XCB_KEY_BUT_MASK_BUTTON_1}) {
        EXPECT_TRUE(x11::modifiersMatch(ctrlAltShift | extra, ctrlAltShift, numLock)) << extra;
    }
    EXPECT_FALSE(x11::modifiersMatch(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, ctrlAltShift, numLock));
    EXPECT_FALSE(x11::modifiersMatch(ctrlAltShift | XCB_MOD_MASK_4, ctrlAltShift, numLock));

    for (HotkeyAction action : kHotkeyActions) {
        EXPECT_EQ(hotkeyFromStored(action, std::nullopt), defaultHotkey(action));
        EXPECT_EQ(hotkeyFromStored(action, QStringLiteral("no such keys!")), defaultHotkey(action));
        EXPECT_EQ(hotkeyFromStored(action, QStringLiteral("S")), defaultHotkey(action)) << "unsafe alone";
        EXPECT_TRUE(hotkeyFromStored(action, QString()).isEmpty());
    }
    EXPECT_EQ(hotkeyFromStored(HotkeyAction::saveClip, QStringLiteral("Meta+F9")), keys("Meta+F9"));
    EXPECT_EQ(hotkeyToStored(keys("Ctrl+Alt+Shift+S, Ctrl+X")), QStringLiteral("Ctrl+Alt+Shift+S"));
    EXPECT_EQ(hotkeyFromStored(HotkeyAction::saveClip, hotkeyToStored(keys("Alt+Print"))), keys("Alt+Print"));

    for (const char* refused : {"S", "Shift+S", "Space", "Return", "Shift+Left", "Shift"}) {
        EXPECT_TRUE(hotkeyProblem(keys(refused))) << refused;
    }
    for (const char* allowed :
         {"Ctrl+S", "Alt+Shift+R", "Meta+S", "F9", "Shift+F10", "Print", "Pause", "Media Record"}) {
        EXPECT_FALSE(hotkeyProblem(keys(allowed))) << allowed;
    }
    EXPECT_FALSE(hotkeyProblem(QKeySequence())) << "no shortcut at all is fine";
}
