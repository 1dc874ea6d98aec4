#pragma once

#include <optional>
#include <QCoroTask>
#include <QKeySequence>
#include <QObject>
#include <QString>
#include <vector>

namespace backreel {

// A key combination that works whichever application has the keyboard.
struct GlobalShortcut {
    QString id;          // what activated() names, e.g. "save-clip"
    QString description; // what it does, for desktops that list bound shortcuts
    QKeySequence keys;   // its first combination is the one bound; empty binds nothing
};

// Why a desktop without a way to bind global shortcuts binds none.
inline const QString kNoGlobalShortcutsMessage =
    QStringLiteral("This desktop does not let Backreel bind global shortcuts.");

// How binding one shortcut went.
struct ShortcutBinding {
    QString id;
    // Why the keys could not be bound ("Ctrl+Alt+Shift+S is taken by another program."); none
    // when they are bound or when there was nothing to bind.
    std::optional<QString> failure;

    friend bool operator==(const ShortcutBinding&, const ShortcutBinding&) = default;
};

// The desktop's way of binding global shortcuts. Backends: key grabs on the X11 root window; the
// desktop portal's global shortcuts on Wayland; none where the desktop offers no way (the user binds
// `backreel --save-clip` in the desktop's own keyboard settings then).
//
// Thread contract: main thread only; activated() is emitted there.
class GlobalShortcuts : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Why this desktop lets Backreel bind no shortcut; none when it does.
    virtual std::optional<QString> unavailableReason() const = 0;
    // Whether binding may ask the user (the desktop shows its own confirmation): such keys are bound
    // only to be used, never just to learn whether they are free.
    virtual bool bindingAsksTheUser() const { return false; }
    // Replaces every binding of this object by these. One result per shortcut, in order.
    virtual QCoro::Task<std::vector<ShortcutBinding>> bind(std::vector<GlobalShortcut> shortcuts) = 0;

signals:
    // The keys of the shortcut with this id were pressed.
    void activated(const QString& id);
};

} // namespace backreel
