#include "app/GlobalHotkeys.h"

#include "app/RemoteControl.h"
#include "platform/GlobalShortcuts.h"
#include "core/Settings.h"

#include <QLoggingCategory>

namespace backreel {

namespace {
Q_LOGGING_CATEGORY(hotkeyLog, "com.strandloft.Backreel.Shortcuts")
} // namespace

GlobalHotkeys::GlobalHotkeys(GlobalShortcuts& shortcuts, RemoteControl& remote, QObject* parent)
    : QObject(parent)
    , shortcuts_(shortcuts)
    , remote_(remote) {
    connect(&shortcuts_, &GlobalShortcuts::activated, this, &GlobalHotkeys::activated);
}

QKeySequence GlobalHotkeys::keys(HotkeyAction action) const {
    return hotkeyFromStored(action, Settings::stringValue(hotkeySettingsKey(action)));
}

std::optional<QString> GlobalHotkeys::failure(HotkeyAction action) const {
    const auto found = failures_.find(action);
    return found == failures_.end() ? std::nullopt : found->second;
}

std::optional<QString> GlobalHotkeys::unavailableReason() const {
    return shortcuts_.unavailableReason();
}

QCoro::Task<> GlobalHotkeys::bind() {
    if (suspended_ && shortcuts_.bindingAsksTheUser()) {
        // No confirmation from the desktop for keys that are let go at once: the keys chosen meanwhile
        // are bound when the suspension ends.
        QCoro::Task<std::vector<ShortcutBinding>> release = shortcuts_.bind({});
        co_await release;
        emit bindingsChanged();
        co_return;
    }
    std::vector<GlobalShortcut> wanted;
    for (HotkeyAction action : kHotkeyActions) {
        wanted.push_back({hotkeyId(action), hotkeyTitle(action), keys(action)});
    }
    QCoro::Task<std::vector<ShortcutBinding>> binding = shortcuts_.bind(wanted);
    const std::vector<ShortcutBinding> results = co_await binding;
    failures_.clear();
    for (const ShortcutBinding& result : results) {
        if (const std::optional<HotkeyAction> action = hotkeyActionFromId(result.id)) {
            failures_[*action] = result.failure;
        }
    }
    if (suspended_) {
        QCoro::Task<std::vector<ShortcutBinding>> release = shortcuts_.bind({});
        co_await release;
    }
    emit bindingsChanged();
}

QCoro::Task<> GlobalHotkeys::setKeys(HotkeyAction action, QKeySequence keys) {
    Settings::setStringValue(hotkeySettingsKey(action), hotkeyToStored(keys));
    QCoro::Task<> binding = bind();
    co_await binding;
}

QCoro::Task<> GlobalHotkeys::setSuspended(bool suspended) {
    suspended_ = suspended;
    QCoro::Task<> binding = bind();
    co_await binding;
}

void GlobalHotkeys::activated(const QString& id) {
    const std::optional<HotkeyAction> action = hotkeyActionFromId(id);
    if (!action || suspended_) {
        return;
    }
    qCInfo(hotkeyLog).noquote() << "[Shortcuts]" << hotkeyTitle(*action) << "pressed";
    const std::optional<QString> refusal = *action == HotkeyAction::saveClip ? remote_.saveClip(std::nullopt)
                                           : *action == HotkeyAction::mark   ? remote_.mark(QString())
                                           : *action == HotkeyAction::review ? remote_.review()
                                                                             : remote_.toggleRecording();
    if (refusal) {
        qCInfo(hotkeyLog).noquote() << "[Shortcuts]" << *refusal;
    }
}

} // namespace backreel
