#include "app/HotkeyKeys.h"

#include "core/Settings.h"

namespace backreel {

namespace {
// What each shortcut is called where: by the desktop, in the dialog, in the settings; its key.
struct HotkeyNames {
    const char* id;
    const char* title;
    const QString& settingsKey;
    Qt::Key key;
};

HotkeyNames namesOf(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::saveClip:
        return {"save-clip", "Save Clip", Settings::kSaveClipShortcutKey, Qt::Key_S};
    case HotkeyAction::mark:
        return {"mark", "Add Marker", Settings::kMarkShortcutKey, Qt::Key_M};
    case HotkeyAction::review:
        return {"review", "Review", Settings::kReviewShortcutKey, Qt::Key_V};
    case HotkeyAction::startStop:
        break;
    }
    return {"start-stop", "Start/Stop", Settings::kStartStopShortcutKey, Qt::Key_B};
}
} // namespace

QString hotkeyId(HotkeyAction action) {
    return QString::fromLatin1(namesOf(action).id);
}

std::optional<HotkeyAction> hotkeyActionFromId(const QString& id) {
    for (HotkeyAction action : kHotkeyActions) {
        if (hotkeyId(action) == id) {
            return action;
        }
    }
    return std::nullopt;
}

QString hotkeyTitle(HotkeyAction action) {
    return QString::fromLatin1(namesOf(action).title);
}

QString hotkeySettingsKey(HotkeyAction action) {
    return namesOf(action).settingsKey;
}

QKeySequence defaultHotkey(HotkeyAction action) {
    return QKeySequence(
        QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, namesOf(action).key));
}

QKeySequence hotkeyFromStored(HotkeyAction action, const std::optional<QString>& stored) {
    if (!stored) {
        return defaultHotkey(action);
    }
    if (stored->trimmed().isEmpty()) {
        return {};
    }
    const QKeySequence keys = QKeySequence::fromString(*stored, QKeySequence::PortableText);
    if (keys.isEmpty() || keys[0].key() == Qt::Key_unknown || hotkeyProblem(keys)) {
        return defaultHotkey(action);
    }
    return QKeySequence(keys[0]);
}

QString hotkeyToStored(const QKeySequence& keys) {
    return keys.isEmpty() ? QString() : QKeySequence(keys[0]).toString(QKeySequence::PortableText);
}

std::optional<QString> hotkeyProblem(const QKeySequence& keys) {
    if (keys.isEmpty()) {
        return std::nullopt;
    }
    const QKeyCombination combination = keys[0];
    const Qt::Key key = combination.key();
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_unknown:
        return QStringLiteral("Press a key together with the modifiers.");
    default:
        break;
    }
    const bool standsAlone = (key >= Qt::Key_F1 && key <= Qt::Key_F35) || key == Qt::Key_Print ||
                             key == Qt::Key_Pause || (key >= Qt::Key_Back && key <= Qt::Key_MediaRecord) ||
                             key == Qt::Key_MediaPause || key == Qt::Key_MediaTogglePlayPause;
    const Qt::KeyboardModifiers strong = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!standsAlone && (combination.keyboardModifiers() & strong) == Qt::NoModifier) {
        return QStringLiteral("%1 would be taken from every application: add Ctrl, Alt or Super.")
            .arg(QKeySequence(combination).toString(QKeySequence::NativeText));
    }
    return std::nullopt;
}

} // namespace backreel
