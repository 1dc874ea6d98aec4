#pragma once

#include <array>
#include <optional>
#include <QKeySequence>
#include <QString>

// The global shortcuts Backreel offers, their defaults and how they are stored, as plain values.
namespace backreel {

enum class HotkeyAction { saveClip, startStop, mark, review };
inline constexpr std::array<HotkeyAction, 4> kHotkeyActions{HotkeyAction::saveClip, HotkeyAction::startStop,
                                                            HotkeyAction::mark, HotkeyAction::review};

// "save-clip", "start-stop", "mark", "review": how the shortcut is known to the desktop.
QString hotkeyId(HotkeyAction action);
std::optional<HotkeyAction> hotkeyActionFromId(const QString& id);
// "Save Clip", "Start/Stop", "Add Marker", "Review".
QString hotkeyTitle(HotkeyAction action);
// The settings key of its keys.
QString hotkeySettingsKey(HotkeyAction action);

// Ctrl+Alt+Shift+S for Save Clip, Ctrl+Alt+Shift+B for Start/Stop, Ctrl+Alt+Shift+M for Add
// Marker and Ctrl+Alt+Shift+V for Review. Three modifiers keep them
// clear of the desktops' own: GNOME and KDE bind Super+letter, Ctrl+Alt+letter (terminal, lock
// screen) and Ctrl+Alt+F-keys (virtual terminals); GNOME's screencast is Ctrl+Alt+Shift+R, so R
// is not ours.
QKeySequence defaultHotkey(HotkeyAction action);

// The keys from their stored text: the default when nothing is stored or the text is no key
// combination, none (an empty sequence) when the user cleared them.
QKeySequence hotkeyFromStored(HotkeyAction action, const std::optional<QString>& stored);
// The text to store for keys; only their first combination counts.
QString hotkeyToStored(const QKeySequence& keys);

// Why keys cannot be a global shortcut, or none when they can: a key that types text or moves the
// cursor needs Ctrl, Alt or Super, or it would be taken from every application; function keys,
// Print, Pause and the media keys may go alone.
std::optional<QString> hotkeyProblem(const QKeySequence& keys);

} // namespace backreel
