#pragma once

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"

#include <cstdint>
#include <optional>
#include <QString>
#include <vector>
#include <xcb/xcb.h>

namespace backreel::x11 {

// What the X server and the window manager say about one top-level client window.
struct X11WindowInfo {
    xcb_window_t window = XCB_WINDOW_NONE; // the client window (not the manager's frame)
    std::optional<QString> title;          // _NET_WM_NAME, else WM_NAME; none without either
    std::int64_t processID = 0;            // 0 when unknown
    std::optional<QString> windowClass;    // the class part of WM_CLASS
    PixelRect frame;                       // root coordinates, without decorations
    int layer = window_layer::kNormal;
    bool isOnScreen = false;
};

// Every top-level client window, bottom-to-top. With a window manager (a valid
// _NET_SUPPORTING_WM_CHECK) the order is its _NET_CLIENT_LIST_STACKING; without one the root's
// mapped children that are not override-redirect, each replaced by its WM_STATE client child
// when it has one. Blocks for a few round trips (all requests of a step are pipelined).
std::vector<X11WindowInfo> queryClientWindows(const X11Connection& connection);

// The process of each window: X-Resource's local client pid of the connection that created it,
// else _NET_WM_PID; 0 when neither is known. One pipelined round trip.
std::vector<std::int64_t> queryProcessIDs(const X11Connection& connection,
                                          const std::vector<xcb_window_t>& windows);

// The client window inside a top-level window: the window itself when it has WM_STATE, else its
// first child that has it, else the window itself. One pipelined round trip per level looked at.
std::vector<xcb_window_t> findClientWindows(const X11Connection& connection,
                                            const std::vector<xcb_window_t>& topLevels);

} // namespace backreel::x11
