#include "app/HotkeyKeys.h"

#include "core/Settings.h"

namespace backreel {

QString hotkeyId(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::saveClip:
        return QStringLiteral("save-clip");
    case HotkeyAction::mark:
        return QStringLiteral("mark");
    case HotkeyAction::startStop:
        break;
    }
    return QStringLiteral("start-stop");
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
    switch (action) {
    case HotkeyAction::saveClip:
        return QStringLiteral("Save Clip");
    case HotkeyAction::mark:
        return QStringLiteral("Add Marker");
    case HotkeyAction::startStop:
        break;
    }
    return QStringLiteral("Start/Stop");
}

QString hotkeySettingsKey(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::saveClip:
        return Settings::kSaveClipShortcutKey;
    case HotkeyAction::mark:
        return Settings::kMarkShortcutKey;
    case HotkeyAction::startStop:
        break;
    }
    return Settings::kStartStopShortcutKey;
}

QKeySequence defaultHotkey(HotkeyAction action) {
    const Qt::Key key = action == HotkeyAction::saveClip ? Qt::Key_S
                        : action == HotkeyAction::mark   ? Qt::Key_M
                                                         : Qt::Key_B;
    return QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, key));
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
