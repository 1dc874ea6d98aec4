#include "platform/x11/X11GlobalShortcuts.h"

#include "platform/x11/X11Keys.h"

#include <algorithm>
#include <QLoggingCategory>

namespace backreel {

namespace {
Q_LOGGING_CATEGORY(shortcutsLog, "com.strandloft.Backreel.Shortcuts")

constexpr x11::KeySymbol kNumLock = 0xff7f;
constexpr std::uint8_t kBadAccess = 10;

QString keyName(const QKeySequence& keys) {
    return QKeySequence(keys[0]).toString(QKeySequence::PortableText);
}
} // namespace

X11GlobalShortcuts::X11GlobalShortcuts(QObject* parent)
    : GlobalShortcuts(parent) {
    int screenNumber = 0;
    connection_.reset(xcb_connect(nullptr, &screenNumber));
    if (xcb_connection_has_error(connection_.get()) != 0) {
        qCWarning(shortcutsLog) << "[Shortcuts] cannot connect to the X display; no global shortcuts";
        connection_.reset();
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        connection_.reset();
        return;
    }
    root_ = screens.data->root;
    keySymbols_.reset(xcb_key_symbols_alloc(connection_.get()));
    readNumLockMask();
    notifier_ =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_.get()), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &X11GlobalShortcuts::readEvents);
}

X11GlobalShortcuts::~X11GlobalShortcuts() {
    if (connection_) {
        ungrabAll();
        xcb_flush(connection_.get());
    }
}

std::optional<QString> X11GlobalShortcuts::unavailableReason() const {
    if (!connection_) {
        return QStringLiteral("Backreel cannot connect to the X display.");
    }
    return std::nullopt;
}

QCoro::Task<std::vector<ShortcutBinding>> X11GlobalShortcuts::bind(std::vector<GlobalShortcut> shortcuts) {
    shortcuts_ = std::move(shortcuts);
    co_return grabAll();
}

std::vector<ShortcutBinding> X11GlobalShortcuts::grabAll() {
    std::vector<ShortcutBinding> results;
    if (!connection_) {
        for (const GlobalShortcut& shortcut : shortcuts_) {
            results.push_back({shortcut.id, unavailableReason()});
        }
        return results;
    }
    ungrabAll();
    for (const GlobalShortcut& shortcut : shortcuts_) {
        Grab grabbed{shortcut.id, {}, 0};
        std::optional<QString> failure = grab(shortcut, grabbed);
        if (failure) {
            qCWarning(shortcutsLog).noquote() << "[Shortcuts]" << shortcut.id << *failure;
        } else if (!grabbed.keycodes.empty()) {
            qCInfo(shortcutsLog).noquote()
                << "[Shortcuts]" << shortcut.id << "bound to" << keyName(shortcut.keys);
            grabs_.push_back(std::move(grabbed));
        }
        results.push_back({shortcut.id, std::move(failure)});
    }
    // Ungrabs wait in the connection's buffer until sent: keys let go of must be free at once.
    xcb_flush(connection_.get());
    // Replies may have brought events along; the socket will not announce those again.
    readEvents();
    return results;
}

std::optional<QString> X11GlobalShortcuts::grab(const GlobalShortcut& shortcut, Grab& grabbed) {
    if (shortcut.keys.isEmpty()) {
        return std::nullopt;
    }
    const QKeyCombination combination = shortcut.keys[0];
    const std::optional<x11::KeySymbol> symbol = x11::keySymbolForQtKey(combination.key());
    std::unique_ptr<xcb_keycode_t, x11::FreeDeleter> keycodes(
        symbol ? xcb_key_symbols_get_keycode(keySymbols_.get(), *symbol) : nullptr);
    if (!keycodes || keycodes.get()[0] == XCB_NO_SYMBOL) {
        return QStringLiteral("%1 is not a key of this keyboard.").arg(keyName(shortcut.keys));
    }
    grabbed.modifiers = x11::modifierMask(combination.keyboardModifiers());
    for (const xcb_keycode_t* code = keycodes.get(); *code != XCB_NO_SYMBOL; ++code) {
        if (std::ranges::find(grabbed.keycodes, *code) == grabbed.keycodes.end()) {
            grabbed.keycodes.push_back(*code);
        }
    }

    // Every request first, then every answer: one round trip for the lot.
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t code : grabbed.keycodes) {
        for (std::uint16_t lock : x11::lockVariants(numLockMask_)) {
            cookies.push_back(xcb_grab_key_checked(connection_.get(), 1, root_, grabbed.modifiers | lock,
                                                   code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    std::optional<QString> failure;
    for (xcb_void_cookie_t cookie : cookies) {
        x11::XcbError error(xcb_request_check(connection_.get(), cookie));
        if (error && !failure) {
            failure = error->error_code == kBadAccess
                          ? QStringLiteral("%1 is taken by another program.").arg(keyName(shortcut.keys))
                          : QStringLiteral("%1 could not be bound (X error %2).")
                                .arg(keyName(shortcut.keys))
                                .arg(error->error_code);
        }
    }
    if (xcb_connection_has_error(connection_.get()) != 0) {
        failure = QStringLiteral("%1 could not be bound: the X server connection broke.")
                      .arg(keyName(shortcut.keys));
    }
    if (failure) {
        // What was granted goes back: a shortcut works with every lock state or not at all.
        for (xcb_keycode_t code : grabbed.keycodes) {
            for (std::uint16_t lock : x11::lockVariants(numLockMask_)) {
                xcb_ungrab_key(connection_.get(), code, root_, grabbed.modifiers | lock);
            }
        }
        grabbed.keycodes.clear();
    }
    return failure;
}

void X11GlobalShortcuts::ungrabAll() {
    for (const Grab& grabbed : grabs_) {
        for (xcb_keycode_t code : grabbed.keycodes) {
            for (std::uint16_t lock : x11::lockVariants(numLockMask_)) {
                xcb_ungrab_key(connection_.get(), code, root_, grabbed.modifiers | lock);
            }
        }
    }
    grabs_.clear();
}

void X11GlobalShortcuts::readNumLockMask() {
    numLockMask_ = 0;
    std::unique_ptr<xcb_keycode_t, x11::FreeDeleter> numLockCodes(
        xcb_key_symbols_get_keycode(keySymbols_.get(), kNumLock));
    const auto mapping = x11::takeReply(xcb_get_modifier_mapping_reply, connection_.get(),
                                        xcb_get_modifier_mapping(connection_.get()));
    if (!numLockCodes || !mapping) {
        return;
    }
    const xcb_keycode_t* modifierCodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = modifierCodes[modifier * perModifier + i];
            for (const xcb_keycode_t* numLock = numLockCodes.get(); code != 0 && *numLock != XCB_NO_SYMBOL;
                 ++numLock) {
                if (*numLock == code) {
                    numLockMask_ = static_cast<std::uint16_t>(1U << modifier);
                }
            }
        }
    }
}

void X11GlobalShortcuts::readEvents() {
    while (connection_) {
        x11::XcbEvent event(xcb_poll_for_event(connection_.get()));
        if (!event) {
            break;
        }
        handle(*event);
    }
}

void X11GlobalShortcuts::handle(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
    case XCB_KEY_PRESS: {
        const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (press.detail == releasedKey_ && press.time == releasedAt_) {
            return; // auto-repeat of a key held down
        }
        for (const Grab& grabbed : grabs_) {
            if (std::ranges::find(grabbed.keycodes, press.detail) != grabbed.keycodes.end() &&
                x11::modifiersMatch(press.state, grabbed.modifiers, numLockMask_)) {
                emit activated(grabbed.id);
                return;
            }
        }
        break;
    }
    case XCB_KEY_RELEASE: {
        const auto& release = reinterpret_cast<const xcb_key_release_event_t&>(event);
        releasedKey_ = release.detail;
        releasedAt_ = release.time;
        break;
    }
    case XCB_MAPPING_NOTIFY: {
        auto& mapping = const_cast<xcb_mapping_notify_event_t&>(
            reinterpret_cast<const xcb_mapping_notify_event_t&>(event));
        if (xcb_refresh_keyboard_mapping(keySymbols_.get(), &mapping) == 1 ||
            mapping.request == XCB_MAPPING_MODIFIER) {
            // Ungrab with the old Num Lock mask, then grab with the new keyboard.
            ungrabAll();
            readNumLockMask();
            grabAll();
        }
        break;
    }
    default:
        break;
    }
}

} // namespace backreel
