#pragma once

#include <optional>
#include <QKeySequence>
#include <QString>
#include <QVariantMap>
#include <set>

// The global-shortcuts portal's conventions as plain values: how keys are written for the desktop,
// and what a BindShortcuts answer bound. No D-Bus calls; any thread.
namespace backreel::portal {

// The first combination of `keys` as the freedesktop shortcuts format writes it: the modifiers
// CTRL, ALT, SHIFT and LOGO (Super) in that order, then the key's XKB symbol name, joined by "+"
// ("CTRL+ALT+SHIFT+s", "LOGO+F9", "Print"). Letters are the unshifted symbol. None for empty keys
// and for a key without a symbol name here (the desktop then lets the user choose the keys).
std::optional<QString> shortcutTrigger(const QKeySequence& keys);

// The ids of the shortcuts a BindShortcuts answer says are bound ("shortcuts": a(sa{sv})); none
// when the answer does not list them.
std::optional<std::set<QString>> boundShortcutIds(const QVariantMap& results);

} // namespace backreel::portal
