#pragma once

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"
#include "platform/x11/XcbPtr.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>
#include <xcb/render.h>
#include <xcb/xcb.h>

namespace backreel::x11 {

// Leaves some processes' windows out of screen grabs. X has no such switch, so while one of those
// windows overlaps the grabbed area, the area is rebuilt on the server: the screen as it is, then,
// inside the excluded windows' rectangles only, the desktop background (the root's _XROOTPMAP_ID
// when a desktop set one, black otherwise) and every other top-level window from the bottom up,
// each drawn from its own Composite pixmap with Render. The top-level windows are redirected
// (Composite, automatic: the server still draws the screen itself, no compositing manager
// needed) the first time an excluded window overlaps, and stay so while the grabber lives, so the
// pixels hidden under our windows exist. While no excluded window overlaps, the grab reads the
// root as it is and this costs one QueryTree round trip per frame.
//
// The first frames after the redirection may show parts that their clients have not repainted
// yet (they repaint on the Expose the redirection sends). Used on the grab thread only.
class OwnWindowExclusion {
public:
    OwnWindowExclusion(const X11Connection& connection, std::set<std::int64_t> excludedProcessIDs,
                       std::set<xcb_window_t> exceptedWindows);

    struct Source {
        xcb_drawable_t drawable = XCB_NONE;
        std::int32_t x = 0; // where the area's top-left is in the drawable
        std::int32_t y = 0;
        bool composed = false;
    };
    // What to read the area (root coordinates) from for this frame.
    Source prepare(const PixelRect& area);

private:
    struct TopLevel {
        xcb_window_t window = XCB_WINDOW_NONE;
        PixelRect outer; // with the border, root coordinates
        xcb_visualid_t visual = 0;
        bool excluded = false;
    };
    std::vector<TopLevel> viewableTopLevels();
    void updateOwnership(const std::vector<xcb_window_t>& windows);
    void ensureTarget(const PixelRect& area);
    void loadPictureFormats();
    void paintBackground(const PixelRect& area);

    const X11Connection& connection_;
    const std::set<std::int64_t> excludedProcessIDs_;
    const std::set<xcb_window_t> exceptedWindows_;
    std::map<xcb_window_t, bool> excludedByWindow_; // top-level window → whether it is left out
    bool redirected_ = false;
    bool formatsLoaded_ = false;
    std::map<xcb_visualid_t, std::pair<xcb_render_pictformat_t, bool>> visualFormats_; // format, has alpha
    xcb_render_pictformat_t rootFormat_ = 0;
    std::int32_t targetWidth_ = 0;
    std::int32_t targetHeight_ = 0;
    XcbResource target_; // pixmap of the area's size
    XcbResource targetPicture_;
    XcbResource copyContext_; // GC that copies the root with its children
};

} // namespace backreel::x11
