#include "platform/x11/OwnWindowExclusion.h"

#include "platform/x11/X11WindowList.h"

#include <algorithm>
#include <xcb/composite.h>

namespace backreel::x11 {

namespace {
xcb_rectangle_t toRectangle(const PixelRect& rect, std::int32_t originX, std::int32_t originY) {
    return {static_cast<std::int16_t>(rect.x - originX), static_cast<std::int16_t>(rect.y - originY),
            static_cast<std::uint16_t>(rect.width), static_cast<std::uint16_t>(rect.height)};
}
} // namespace

OwnWindowExclusion::OwnWindowExclusion(const X11Connection& connection,
                                       std::set<std::int64_t> excludedProcessIDs,
                                       std::set<xcb_window_t> exceptedWindows)
    : connection_(connection)
    , excludedProcessIDs_(std::move(excludedProcessIDs))
    , exceptedWindows_(std::move(exceptedWindows)) {}

std::vector<OwnWindowExclusion::TopLevel> OwnWindowExclusion::viewableTopLevels() {
    xcb_connection_t* c = connection_.get();
    auto tree = takeReply(xcb_query_tree_reply, c, xcb_query_tree(c, connection_.root()));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const auto count = static_cast<std::size_t>(std::max(xcb_query_tree_children_length(tree.get()), 0));
    std::vector<xcb_window_t> windows(children, children + count);
    updateOwnership(windows);

    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies(count);
    std::vector<xcb_get_geometry_cookie_t> geometryCookies(count);
    for (std::size_t i = 0; i < count; ++i) {
        attributeCookies[i] = xcb_get_window_attributes(c, windows[i]);
        geometryCookies[i] = xcb_get_geometry(c, windows[i]);
    }
    std::vector<TopLevel> result;
    for (std::size_t i = 0; i < count; ++i) {
        auto attributes = takeReply(xcb_get_window_attributes_reply, c, attributeCookies[i]);
        auto geometry = takeReply(xcb_get_geometry_reply, c, geometryCookies[i]);
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) {
            continue;
        }
        const std::int32_t border = geometry->border_width;
        result.push_back(
            TopLevel{windows[i],
                     {geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border},
                     attributes->visual,
                     excludedByWindow_[windows[i]]});
    }
    return result;
}

void OwnWindowExclusion::updateOwnership(const std::vector<xcb_window_t>& windows) {
    // Forget windows that are gone (their ids may come back for other windows), learn new ones.
    std::erase_if(excludedByWindow_, [&](const auto& entry) {
        return std::find(windows.begin(), windows.end(), entry.first) == windows.end();
    });
    std::vector<xcb_window_t> unknown;
    for (const xcb_window_t window : windows) {
        if (!excludedByWindow_.contains(window)) {
            unknown.push_back(window);
        }
    }
    if (unknown.empty()) {
        return;
    }
    // A managed window's top-level is the manager's frame: its client decides, and the frame
    // (decorations included) goes with it.
    const std::vector<xcb_window_t> clients = findClientWindows(connection_, unknown);
    const std::vector<std::int64_t> pids = queryProcessIDs(connection_, clients);
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        excludedByWindow_[unknown[i]] = excludedProcessIDs_.contains(pids[i]) &&
                                        !exceptedWindows_.contains(clients[i]) &&
                                        !exceptedWindows_.contains(unknown[i]);
    }
}

OwnWindowExclusion::Source OwnWindowExclusion::prepare(const PixelRect& area) {
    const Source plain{connection_.root(), area.x, area.y, false};
    if (!connection_.extensions().composite || !connection_.extensions().render) {
        return plain; // nothing to rebuild the area with
    }
    const std::vector<TopLevel> stack = viewableTopLevels();
    std::vector<xcb_rectangle_t> hidden;
    PixelRect hiddenBounds;
    for (const TopLevel& topLevel : stack) {
        if (!topLevel.excluded) {
            continue;
        }
        const PixelRect part = intersected(topLevel.outer, area);
        if (part.isEmpty()) {
            continue;
        }
        hidden.push_back(toRectangle(part, area.x, area.y));
        hiddenBounds =
            hiddenBounds.isEmpty()
                ? part
                : PixelRect{std::min(hiddenBounds.x, part.x), std::min(hiddenBounds.y, part.y),
                            std::max(hiddenBounds.right(), part.right()) - std::min(hiddenBounds.x, part.x),
                            std::max(hiddenBounds.bottom(), part.bottom()) -
                                std::min(hiddenBounds.y, part.y)};
    }
    if (hidden.empty()) {
        return plain;
    }
    xcb_connection_t* c = connection_.get();
    if (!redirected_) {
        xcb_composite_redirect_subwindows(c, connection_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        redirected_ = true;
    }
    loadPictureFormats();
    ensureTarget(area);
    if (!targetPicture_) {
        return plain;
    }
    // The screen as it is, then the hidden parts repainted without the excluded windows.
    xcb_copy_area(c, connection_.root(), target_.id(), copyContext_.id(), static_cast<std::int16_t>(area.x),
                  static_cast<std::int16_t>(area.y), 0, 0, static_cast<std::uint16_t>(area.width),
                  static_cast<std::uint16_t>(area.height));
    xcb_render_set_picture_clip_rectangles(c, targetPicture_.id(), 0, 0,
                                           static_cast<std::uint32_t>(hidden.size()), hidden.data());
    paintBackground(area);
    for (const TopLevel& topLevel : stack) {
        if (topLevel.excluded || !intersects(topLevel.outer, hiddenBounds)) {
            continue;
        }
        const auto format = visualFormats_.find(topLevel.visual);
        if (format == visualFormats_.end()) {
            continue;
        }
        XcbResource pixmap(c, xcb_generate_id(c), xcb_free_pixmap);
        xcb_composite_name_window_pixmap(c, topLevel.window, pixmap.id());
        XcbResource picture(c, xcb_generate_id(c), xcb_render_free_picture);
        xcb_render_create_picture(c, picture.id(), pixmap.id(), format->second.first, 0, nullptr);
        // Windows with an alpha channel blend over what lies below them; opaque ones replace it.
        const std::uint8_t op = format->second.second ? XCB_RENDER_PICT_OP_OVER : XCB_RENDER_PICT_OP_SRC;
        xcb_render_composite(c, op, picture.id(), XCB_NONE, targetPicture_.id(), 0, 0, 0, 0,
                             static_cast<std::int16_t>(topLevel.outer.x - area.x),
                             static_cast<std::int16_t>(topLevel.outer.y - area.y),
                             static_cast<std::uint16_t>(topLevel.outer.width),
                             static_cast<std::uint16_t>(topLevel.outer.height));
    }
    return Source{target_.id(), 0, 0, true};
}

void OwnWindowExclusion::paintBackground(const PixelRect& area) {
    xcb_connection_t* c = connection_.get();
    auto property = takeReply(xcb_get_property_reply, c,
                              xcb_get_property(c, 0, connection_.root(), connection_.atom(Atom::rootPixmapId),
                                               XCB_ATOM_PIXMAP, 0, 1));
    const xcb_rectangle_t whole{0, 0, static_cast<std::uint16_t>(area.width),
                                static_cast<std::uint16_t>(area.height)};
    if (property && property->format == 32 && xcb_get_property_value_length(property.get()) >= 4) {
        const xcb_pixmap_t background =
            *static_cast<const std::uint32_t*>(xcb_get_property_value(property.get()));
        XcbResource picture(c, xcb_generate_id(c), xcb_render_free_picture);
        XcbError error(xcb_request_check(
            c, xcb_render_create_picture_checked(c, picture.id(), background, rootFormat_, 0, nullptr)));
        if (!error) {
            xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, picture.id(), XCB_NONE, targetPicture_.id(),
                                 static_cast<std::int16_t>(area.x), static_cast<std::int16_t>(area.y), 0, 0,
                                 0, 0, whole.width, whole.height);
            return;
        }
        picture.release(); // never created: nothing to free
    }
    xcb_render_fill_rectangles(c, XCB_RENDER_PICT_OP_SRC, targetPicture_.id(),
                               xcb_render_color_t{0, 0, 0, 0xFFFF}, 1, &whole);
}

void OwnWindowExclusion::loadPictureFormats() {
    if (formatsLoaded_) {
        return;
    }
    formatsLoaded_ = true;
    xcb_connection_t* c = connection_.get();
    auto reply = takeReply(xcb_render_query_pict_formats_reply, c, xcb_render_query_pict_formats(c));
    if (!reply) {
        return;
    }
    std::map<xcb_render_pictformat_t, bool> hasAlpha;
    for (auto it = xcb_render_query_pict_formats_formats_iterator(reply.get()); it.rem > 0;
         xcb_render_pictforminfo_next(&it)) {
        hasAlpha[it.data->id] = it.data->direct.alpha_mask != 0;
    }
    for (auto screen = xcb_render_query_pict_formats_screens_iterator(reply.get()); screen.rem > 0;
         xcb_render_pictscreen_next(&screen)) {
        for (auto depth = xcb_render_pictscreen_depths_iterator(screen.data); depth.rem > 0;
             xcb_render_pictdepth_next(&depth)) {
            for (auto visual = xcb_render_pictdepth_visuals_iterator(depth.data); visual.rem > 0;
                 xcb_render_pictvisual_next(&visual)) {
                visualFormats_[visual.data->visual] = {visual.data->format, hasAlpha[visual.data->format]};
            }
        }
    }
    if (const auto root = visualFormats_.find(connection_.screen().root_visual);
        root != visualFormats_.end()) {
        rootFormat_ = root->second.first;
    }
}

void OwnWindowExclusion::ensureTarget(const PixelRect& area) {
    if (targetPicture_ && targetWidth_ == area.width && targetHeight_ == area.height) {
        return;
    }
    xcb_connection_t* c = connection_.get();
    targetPicture_.reset();
    copyContext_.reset();
    target_.reset();
    if (rootFormat_ == 0) {
        return;
    }
    target_ = XcbResource(c, xcb_generate_id(c), xcb_free_pixmap);
    xcb_create_pixmap(c, connection_.screen().root_depth, target_.id(), connection_.root(),
                      static_cast<std::uint16_t>(area.width), static_cast<std::uint16_t>(area.height));
    targetPicture_ = XcbResource(c, xcb_generate_id(c), xcb_render_free_picture);
    xcb_render_create_picture(c, targetPicture_.id(), target_.id(), rootFormat_, 0, nullptr);
    copyContext_ = XcbResource(c, xcb_generate_id(c), xcb_free_gc);
    const std::uint32_t includeInferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    xcb_create_gc(c, copyContext_.id(), target_.id(), XCB_GC_SUBWINDOW_MODE, &includeInferiors);
    targetWidth_ = area.width;
    targetHeight_ = area.height;
}

} // namespace backreel::x11
