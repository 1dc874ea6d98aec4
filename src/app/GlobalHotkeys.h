#pragma once

#include "app/HotkeyKeys.h"

#include <map>
#include <optional>
#include <QCoroTask>
#include <QObject>

namespace backreel {

class GlobalShortcuts;
class RemoteControl;

// Save Clip and Start/Stop on global shortcuts: the keys from the settings (or the defaults),
// bound through the desktop's shortcut service, and their presses turned into commands of the
// remote control. A key another program holds is logged and kept as the shortcut's failure, which
// the shortcuts dialog shows.
//
// Thread contract: main thread only.
class GlobalHotkeys final : public QObject {
    Q_OBJECT

public:
    GlobalHotkeys(GlobalShortcuts& shortcuts, RemoteControl& remote, QObject* parent = nullptr);

    // Binds the stored keys; again after every change.
    QCoro::Task<> bind();
    // Stores new keys for an action (empty: none) and binds them.
    QCoro::Task<> setKeys(HotkeyAction action, QKeySequence keys);
    // While suspended the keys are bound only to learn whether they can be, and let go again at
    // once, so that they reach the shortcuts dialog's key fields; where binding asks the user, they
    // are only let go.
    QCoro::Task<> setSuspended(bool suspended);

    QKeySequence keys(HotkeyAction action) const;
    // Why the action's keys are not bound; none when they are or when it has none.
    std::optional<QString> failure(HotkeyAction action) const;
    // Why this desktop lets Backreel bind no shortcut; none when it does.
    std::optional<QString> unavailableReason() const;

signals:
    // The keys or what became of binding them changed.
    void bindingsChanged();

private:
    void activated(const QString& id);

    GlobalShortcuts& shortcuts_;
    RemoteControl& remote_;
    bool suspended_ = false;
    std::map<HotkeyAction, std::optional<QString>> failures_;
};

} // namespace backreel
