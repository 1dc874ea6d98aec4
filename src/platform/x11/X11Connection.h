#pragma once

#include "core/Error.h"
#include "platform/x11/XcbPtr.h"

#include <array>
#include <cstdint>
#include <memory>
#include <QString>
#include <xcb/xcb.h>

namespace backreel::x11 {

// The atoms Backreel reads; interned once per connection.
enum class Atom {
    netClientListStacking,
    netSupportingWmCheck,
    netWmName,
    utf8String,
    netWmPid,
    netWmWindowType,
    netWmWindowTypeNormal,
    netWmWindowTypeDialog,
    netWmWindowTypeUtility,
    netWmWindowTypeDock,
    netWmWindowTypeDesktop,
    netWmWindowTypeToolbar,
    netWmWindowTypeMenu,
    netWmWindowTypeSplash,
    netWmWindowTypeDropdownMenu,
    netWmWindowTypePopupMenu,
    netWmWindowTypeTooltip,
    netWmWindowTypeNotification,
    netWmWindowTypeCombo,
    netWmWindowTypeDnd,
    netWmState,
    netWmStateAbove,
    netWmStateBelow,
    netWmDesktop,
    netCurrentDesktop,
    wmState,
    rootPixmapId,
    count
};

// The X extensions a capture may use, with whether the server offers them in the version we need.
struct X11Extensions {
    bool shm = false;       // MIT-SHM
    bool composite = false; // Composite 0.2 (named window pixmaps)
    bool randr = false;     // RandR 1.5 (monitors)
    bool xfixes = false;    // XFixes 2 (cursor images)
    bool damage = false;    // DAMAGE 1.1 (what changed on screen)
    bool render = false;    // Render 0.11
    bool resource = false;  // X-Resource 1.2 (client process ids)
};

// One connection to the X server, with its first screen, the atoms and the extension versions
// negotiated at open. The XCB connection is thread-safe; so is this object once opened.
class X11Connection {
public:
    // Opens the display named by DISPLAY. Fails with "Cannot connect to the X display NAME: cause."
    static Expected<std::shared_ptr<X11Connection>> open();

    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return connection_.get(); }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }
    std::int32_t rootWidth() const { return screen_->width_in_pixels; }
    std::int32_t rootHeight() const { return screen_->height_in_pixels; }
    xcb_atom_t atom(Atom which) const { return atoms_[static_cast<std::size_t>(which)]; }
    const X11Extensions& extensions() const { return extensions_; }
    // The event codes of the extensions' first events (DamageNotify, XFixesCursorNotify...).
    std::uint8_t damageFirstEvent() const { return damageFirstEvent_; }
    std::uint8_t xfixesFirstEvent() const { return xfixesFirstEvent_; }

    // The name of an X error as the X libraries spell it ("BadWindow", "BadSeg"...), including
    // the errors of the extensions we use.
    QString errorName(const xcb_generic_error_t& error) const;
    // An error for a failed request: "<what> failed: <error name>.".
    Error requestError(const QString& what, const xcb_generic_error_t* error) const;
    // True once the connection broke (server gone, I/O error).
    bool hasFailed() const { return xcb_connection_has_error(connection_.get()) != 0; }

    // The server's error text for a lost connection, shared by every user of a connection.
    static Error connectionLostError();

private:
    X11Connection(XcbConnectionPtr connection, const xcb_screen_t* screen);
    void internAtoms();
    void queryExtensions();

    XcbConnectionPtr connection_;
    const xcb_screen_t* screen_ = nullptr;
    std::array<xcb_atom_t, static_cast<std::size_t>(Atom::count)> atoms_{};
    X11Extensions extensions_;
    std::uint8_t shmFirstError_ = 0;
    std::uint8_t renderFirstError_ = 0;
    std::uint8_t xfixesFirstError_ = 0;
    std::uint8_t randrFirstError_ = 0;
    std::uint8_t damageFirstError_ = 0;
    std::uint8_t damageFirstEvent_ = 0;
    std::uint8_t xfixesFirstEvent_ = 0;
};

} // namespace backreel::x11
