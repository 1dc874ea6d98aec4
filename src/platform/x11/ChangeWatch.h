#pragma once

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"
#include "platform/x11/XcbPtr.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace backreel::x11 {

// Tells a grabber whether the picture it would take may differ from its last one, so that a still
// screen costs neither a grab nor an encode. The DAMAGE extension reports every rectangle of the
// watched drawable (the root window, or a window) that something drew into; XFixes reports a new
// cursor shape; and a look at the pointer once per tick tells whether it moved. The pointer only
// counts where it is drawn: near the captured area.
//
// Without DAMAGE everything counts as changed, so the capture runs at its fixed rate as before
// (said once in the log).
//
// The grabber's tick: lookAtPointer(), then every event off the connection through handleEvent(),
// then hasChanged(area); when it grabs, pictureTaken() once the picture is there. A change seen by
// hasChanged() stays until then, so a frame that could not be taken is taken at the next tick.
// Grab thread only; the connection must outlive it.
class ChangeWatch {
public:
    ChangeWatch(const X11Connection& connection, xcb_drawable_t drawable);
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // False without DAMAGE (or when the server refused the damage object): every tick changes.
    bool tracksChanges() const { return damage_ != 0; }

    // Asks where the pointer is, relative to the watched drawable. One round trip: every event the
    // server sent before the answer is on the connection's queue afterwards.
    void lookAtPointer();
    // Takes the event when it is one of the watch's; true then.
    bool handleEvent(const xcb_generic_event_t& event);
    // Whether the picture of `area` (in the watched drawable's coordinates) may have changed since
    // the last pictureTaken(). Clears the server's record of damage, so that drawing from now on
    // is reported again.
    bool hasChanged(const PixelRect& area);
    // The picture was taken after hasChanged(): whatever was drawn before is in it.
    void pictureTaken() { pending_ = false; }
    // The next tick takes a picture whatever happened (a new pixmap, a new screen layout).
    void invalidate() { pending_ = true; }

private:
    struct Pointer {
        std::int32_t x = 0;
        std::int32_t y = 0;
        friend bool operator==(const Pointer&, const Pointer&) = default;
    };

    const X11Connection& connection_;
    const xcb_drawable_t drawable_;
    std::uint32_t damage_ = 0;
    std::vector<PixelRect> damaged_; // reported since the last hasChanged()
    bool damageReported_ = false;    // some damage came, inside the area or not
    bool cursorChanged_ = false;
    std::optional<Pointer> pointer_; // where it was at the last hasChanged()
    std::optional<Pointer> seen_;    // where lookAtPointer() found it
    bool pending_ = true;            // a change not yet in a picture; the first picture is one
};

} // namespace backreel::x11
