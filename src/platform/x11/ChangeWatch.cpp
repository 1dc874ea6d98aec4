#include "platform/x11/ChangeWatch.h"

#include "core/log/Log.h"

#include <atomic>
#include <xcb/damage.h>
#include <xcb/xfixes.h>

namespace backreel::x11 {

namespace {
// How far around the captured area the pointer still shows: its image reaches this far from the
// hot spot (cursor themes go up to 96 pixels at twice the scale).
constexpr std::int32_t kCursorReach = 128;

// Damage reports past this many since the last tick are not kept one by one: the area counts as
// changed.
constexpr std::size_t kMaxDamageRects = 64;

bool near(const PixelRect& area, std::int32_t x, std::int32_t y) {
    return x > area.x - kCursorReach && y > area.y - kCursorReach && x < area.right() + kCursorReach &&
           y < area.bottom() + kCursorReach;
}
} // namespace

ChangeWatch::ChangeWatch(const X11Connection& connection, xcb_drawable_t drawable)
    : connection_(connection)
    , drawable_(drawable) {
    xcb_connection_t* c = connection.get();
    if (!connection.extensions().damage) {
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true)) {
            Logger::recording().info(QStringLiteral(
                "[Capture] The X server has no DAMAGE extension: every frame is grabbed and encoded, "
                "also while nothing changes."));
        }
        return;
    }
    // Each rectangle newly drawn into, as it happens; a rectangle already reported and not yet
    // cleared is not reported again.
    const std::uint32_t damage = xcb_generate_id(c);
    const XcbError error(xcb_request_check(
        c, xcb_damage_create_checked(c, damage, drawable, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES)));
    if (error) {
        const Error failure =
            connection.requestError(QStringLiteral("Watching the screen for changes"), error.get());
        Logger::recording().error(
            QStringLiteral("[Capture] %1 Every frame is grabbed.").arg(failure.description));
        return;
    }
    damage_ = damage;
    if (connection.extensions().xfixes) {
        xcb_xfixes_select_cursor_input(c, connection.root(), XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
    }
}

ChangeWatch::~ChangeWatch() {
    if (damage_ != 0 && !connection_.hasFailed()) {
        xcb_connection_t* c = connection_.get();
        xcb_damage_destroy(c, damage_);
        if (connection_.extensions().xfixes) {
            xcb_xfixes_select_cursor_input(c, connection_.root(), 0);
        }
        xcb_flush(c);
    }
}

void ChangeWatch::lookAtPointer() {
    seen_.reset();
    if (damage_ == 0) {
        return;
    }
    xcb_connection_t* c = connection_.get();
    if (auto reply = takeReply(xcb_query_pointer_reply, c, xcb_query_pointer(c, drawable_))) {
        seen_ = Pointer{reply->win_x, reply->win_y};
    }
}

bool ChangeWatch::handleEvent(const xcb_generic_event_t& event) {
    if (damage_ == 0) {
        return false;
    }
    const std::uint8_t type = event.response_type & 0x7F;
    if (type == connection_.damageFirstEvent() + XCB_DAMAGE_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_damage_notify_event_t&>(event);
        damageReported_ = true;
        if (damaged_.size() <= kMaxDamageRects) {
            damaged_.push_back({notify.area.x, notify.area.y, notify.area.width, notify.area.height});
        }
        return true;
    }
    if (connection_.extensions().xfixes &&
        type == connection_.xfixesFirstEvent() + XCB_XFIXES_CURSOR_NOTIFY) {
        cursorChanged_ = true;
        return true;
    }
    return false;
}

bool ChangeWatch::hasChanged(const PixelRect& area) {
    if (damage_ == 0) {
        return true;
    }
    bool changed = damaged_.size() > kMaxDamageRects;
    for (const PixelRect& rect : damaged_) {
        changed = changed || intersects(rect, area);
    }
    if (damageReported_) {
        // Cleared before the picture is asked for: drawing after this point is reported anew, and
        // drawing before it is in the picture, which the server reads after this request.
        xcb_damage_subtract(connection_.get(), damage_, XCB_NONE, XCB_NONE);
    }
    damaged_.clear();
    damageReported_ = false;
    if (seen_) {
        const bool moved = pointer_ && !(*pointer_ == *seen_);
        const bool shows =
            near(area, seen_->x, seen_->y) || (pointer_ && near(area, pointer_->x, pointer_->y));
        changed = changed || ((moved || cursorChanged_) && shows);
        pointer_ = seen_;
    } else {
        changed = changed || cursorChanged_;
    }
    cursorChanged_ = false;
    pending_ = pending_ || changed;
    return pending_;
}

} // namespace backreel::x11
