#pragma once

#include <cstdint>
#include <optional>
#include <QKeyCombination>
#include <vector>

// How a key combination as Qt names it is grabbed on the X server: the key's symbol (the keycodes
// come from the server's keyboard map) and the modifier mask.
namespace backreel::x11 {

using KeySymbol = std::uint32_t;

// The X key symbol of a Qt key: letters as the unshifted (lower case) symbol, digits, the printable
// ASCII punctuation, function keys F1 to F35, and the named keys (Space, Return, Escape, Tab, the
// arrows, Home, End, Page Up/Down, Insert, Delete, Backspace, Print, Pause, the keypad's). None
// for a modifier alone or a key X has no symbol for.
std::optional<KeySymbol> keySymbolForQtKey(Qt::Key key);

// The X modifier mask of Ctrl, Shift, Alt (Mod1) and Meta (Super, Mod4); the keypad modifier
// is ignored.
std::uint16_t modifierMask(Qt::KeyboardModifiers modifiers);

// The lock modifiers a grab must also accept, so the keys work whatever the state of Caps Lock and
// Num Lock: the combinations of Lock and `numLockMask` (0 when no modifier carries Num Lock).
std::vector<std::uint16_t> lockVariants(std::uint16_t numLockMask);

// Whether a key event's modifier state (`state`) is that of a grab with `modifiers`, whatever the
// lock keys and the pointer buttons.
bool modifiersMatch(std::uint16_t state, std::uint16_t modifiers, std::uint16_t numLockMask);

} // namespace backreel::x11
