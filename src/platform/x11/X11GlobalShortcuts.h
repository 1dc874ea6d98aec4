#pragma once

#include "platform/GlobalShortcuts.h"
#include "platform/x11/XcbPtr.h"

#include <cstdint>
#include <memory>
#include <QSocketNotifier>
#include <vector>
#include <xcb/xcb_keysyms.h>

namespace backreel {

// Global shortcuts on an X server: passive key grabs on the root window, for every keycode that
// carries the key's symbol and with every combination of Caps Lock and Num Lock, on a connection of
// its own whose events are read on the main thread. A grab another client holds already fails with
// the key named. A new keyboard map is read again and the keys grabbed anew.
//
// Thread contract: main thread only.
class X11GlobalShortcuts final : public GlobalShortcuts {
    Q_OBJECT

public:
    explicit X11GlobalShortcuts(QObject* parent = nullptr);
    ~X11GlobalShortcuts() override;

    std::optional<QString> unavailableReason() const override;
    QCoro::Task<std::vector<ShortcutBinding>> bind(std::vector<GlobalShortcut> shortcuts) override;

private:
    struct KeySymbolsDeleter {
        void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
    };
    struct Grab {
        QString id;
        std::vector<xcb_keycode_t> keycodes;
        std::uint16_t modifiers = 0;
    };

    std::vector<ShortcutBinding> grabAll();
    // Grabs one shortcut's keys; the failure text when the server refused.
    std::optional<QString> grab(const GlobalShortcut& shortcut, Grab& grab);
    void ungrabAll();
    void readNumLockMask();
    void readEvents();
    void handle(const xcb_generic_event_t& event);

    x11::XcbConnectionPtr connection_;
    xcb_window_t root_ = 0;
    std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> keySymbols_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::uint16_t numLockMask_ = 0;
    std::vector<GlobalShortcut> shortcuts_;
    std::vector<Grab> grabs_;
    // The last key release, to tell the keyboard's auto-repeat (a release and a press at the same
    // time) from a new press.
    xcb_keycode_t releasedKey_ = 0;
    xcb_timestamp_t releasedAt_ = 0;
};

} // namespace backreel
