#include "platform/x11/X11Keys.h"

#include <algorithm>
#include <array>
#include <utility>
#include <xcb/xproto.h>

namespace backreel::x11 {

namespace {
// Key symbols from X11/keysymdef.h.
constexpr std::array<std::pair<Qt::Key, KeySymbol>, 26> kNamedKeys{{
    {Qt::Key_Space, 0x0020},
    {Qt::Key_Backspace, 0xff08},
    {Qt::Key_Tab, 0xff09},
    {Qt::Key_Return, 0xff0d},
    {Qt::Key_Enter, 0xff8d},
    {Qt::Key_Pause, 0xff13},
    {Qt::Key_ScrollLock, 0xff14},
    {Qt::Key_Escape, 0xff1b},
    {Qt::Key_Home, 0xff50},
    {Qt::Key_Left, 0xff51},
    {Qt::Key_Up, 0xff52},
    {Qt::Key_Right, 0xff53},
    {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},
    {Qt::Key_PageDown, 0xff56},
    {Qt::Key_End, 0xff57},
    {Qt::Key_Print, 0xff61},
    {Qt::Key_Insert, 0xff63},
    {Qt::Key_Menu, 0xff67},
    {Qt::Key_Delete, 0xffff},
    {Qt::Key_MediaPlay, 0x1008ff14},
    {Qt::Key_MediaStop, 0x1008ff15},
    {Qt::Key_MediaRecord, 0x1008ff1c},
    {Qt::Key_Launch0, 0x1008ff33}, // XF86MyComputer, as Qt reads it
    {Qt::Key_Launch1, 0x1008ff1d}, // XF86Calculator
    {Qt::Key_SysReq, 0xff15},
}};
constexpr KeySymbol kF1 = 0xffbe;
constexpr std::uint16_t kRelevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
} // namespace

std::optional<KeySymbol> keySymbolForQtKey(Qt::Key key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return static_cast<KeySymbol>('a' + (key - Qt::Key_A));
    }
    // The rest of printable ASCII is the same in both.
    if (key >= Qt::Key_Exclam && key <= Qt::Key_AsciiTilde) {
        return static_cast<KeySymbol>(key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return kF1 + static_cast<KeySymbol>(key - Qt::Key_F1);
    }
    const auto named = std::ranges::find(kNamedKeys, key, &std::pair<Qt::Key, KeySymbol>::first);
    if (named != kNamedKeys.end()) {
        return named->second;
    }
    return std::nullopt;
}

std::uint16_t modifierMask(Qt::KeyboardModifiers modifiers) {
    std::uint16_t mask = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        mask |= XCB_MOD_MASK_1;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

std::vector<std::uint16_t> lockVariants(std::uint16_t numLockMask) {
    std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (numLockMask != 0 && numLockMask != XCB_MOD_MASK_LOCK) {
        variants.push_back(numLockMask);
        variants.push_back(numLockMask | XCB_MOD_MASK_LOCK);
    }
    return variants;
}

bool modifiersMatch(std::uint16_t state, std::uint16_t modifiers, std::uint16_t numLockMask) {
    const auto relevant = static_cast<std::uint16_t>(kRelevantModifiers & ~numLockMask);
    return (state & relevant) == (modifiers & relevant);
}

} // namespace backreel::x11
