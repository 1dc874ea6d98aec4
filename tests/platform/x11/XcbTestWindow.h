#pragma once

// Test windows drawn with plain XCB: no toolkit, no event loop. Their content is the window's
// background pixmap, which the X server paints by itself on every exposure (also into a
// redirected window's pixmap), so a window shows its pattern without a client that repaints.

#include "platform/x11/XcbPtr.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace backreel::test {

// 0xRRGGBB, the pixel values of the 24-bit TrueColor root visual.
inline constexpr std::uint32_t kRed = 0xFF0000;
inline constexpr std::uint32_t kGreen = 0x00FF00;
inline constexpr std::uint32_t kBlue = 0x0000FF;
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kYellow = 0xFFFF00;
inline constexpr std::uint32_t kMagenta = 0xFF00FF;

// The four quadrant colours of the pattern: top-left, top-right, bottom-left, bottom-right.
inline constexpr std::array<std::uint32_t, 4> kQuadrants = {kRed, kGreen, kBlue, kWhite};

inline xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    x11::XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// Waits until the server has handled everything sent so far.
inline void sync(xcb_connection_t* connection) {
    x11::XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

struct TestWindowOptions {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::uint16_t width = 200;
    std::uint16_t height = 100;
    std::string title;
    bool quadrants = true; // else one colour
    std::uint32_t colour = kYellow;
    bool overrideRedirect = false;
    std::vector<std::string> windowTypes; // _NET_WM_WINDOW_TYPE atoms
    std::vector<std::string> states;      // initial _NET_WM_STATE atoms
    bool map = true;

    TestWindowOptions titled(std::string text) const {
        auto o = *this;
        o.title = std::move(text);
        return o;
    }
    TestWindowOptions solid(std::uint32_t value) const {
        auto o = *this;
        o.quadrants = false;
        o.colour = value;
        return o;
    }
    TestWindowOptions typed(std::string type) const {
        auto o = *this;
        o.windowTypes.push_back(std::move(type));
        return o;
    }
    TestWindowOptions withState(std::string state) const {
        auto o = *this;
        o.states.push_back(std::move(state));
        return o;
    }
    TestWindowOptions overrideRedirecting() const {
        auto o = *this;
        o.overrideRedirect = true;
        return o;
    }
    TestWindowOptions unmapped() const {
        auto o = *this;
        o.map = false;
        return o;
    }
};

// A window at the given place, with the quadrant pattern unless told otherwise.
inline TestWindowOptions windowAt(int x, int y, int width, int height) {
    TestWindowOptions options;
    options.x = static_cast<std::int16_t>(x);
    options.y = static_cast<std::int16_t>(y);
    options.width = static_cast<std::uint16_t>(width);
    options.height = static_cast<std::uint16_t>(height);
    return options;
}

class TestWindow {
public:
    TestWindow(xcb_connection_t* connection, const TestWindowOptions& options)
        : connection_(connection)
        , width_(options.width)
        , height_(options.height) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window_ = xcb_generate_id(connection);
        background_ = xcb_generate_id(connection);
        xcb_create_pixmap(connection, screen->root_depth, background_, screen->root, options.width,
                          options.height);
        const xcb_gcontext_t gc = xcb_generate_id(connection);
        xcb_create_gc(connection, gc, background_, 0, nullptr);
        const auto halfWidth = static_cast<std::uint16_t>(options.width / 2);
        const auto halfHeight = static_cast<std::uint16_t>(options.height / 2);
        const std::array<xcb_rectangle_t, 4> quadrants = {
            xcb_rectangle_t{0, 0, halfWidth, halfHeight},
            xcb_rectangle_t{static_cast<std::int16_t>(halfWidth), 0,
                            static_cast<std::uint16_t>(options.width - halfWidth), halfHeight},
            xcb_rectangle_t{0, static_cast<std::int16_t>(halfHeight), halfWidth,
                            static_cast<std::uint16_t>(options.height - halfHeight)},
            xcb_rectangle_t{static_cast<std::int16_t>(halfWidth), static_cast<std::int16_t>(halfHeight),
                            static_cast<std::uint16_t>(options.width - halfWidth),
                            static_cast<std::uint16_t>(options.height - halfHeight)}};
        for (std::size_t i = 0; i < quadrants.size(); ++i) {
            const std::uint32_t colour = options.quadrants ? kQuadrants[i] : options.colour;
            xcb_change_gc(connection, gc, XCB_GC_FOREGROUND, &colour);
            xcb_poly_fill_rectangle(connection, background_, gc, 1, &quadrants[i]);
        }
        xcb_free_gc(connection, gc);

        const std::uint32_t values[] = {background_, options.overrideRedirect ? 1u : 0u};
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window_, screen->root, options.x, options.y,
                          options.width, options.height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        if (!options.title.empty()) {
            const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window_,
                                internAtom(connection, "_NET_WM_NAME"), utf8, 8,
                                static_cast<std::uint32_t>(options.title.size()), options.title.data());
        }
        setAtoms("_NET_WM_WINDOW_TYPE", options.windowTypes);
        setAtoms("_NET_WM_STATE", options.states);
        // Openbox places new windows where it likes unless the program asked for a position.
        std::array<std::uint32_t, 18> hints{};
        hints[0] = 1 | 2 | 4 | 8; // USPosition | USSize | PPosition | PSize
        hints[1] = static_cast<std::uint32_t>(options.x);
        hints[2] = static_cast<std::uint32_t>(options.y);
        hints[3] = options.width;
        hints[4] = options.height;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NORMAL_HINTS,
                            XCB_ATOM_WM_SIZE_HINTS, 32, static_cast<std::uint32_t>(hints.size()),
                            hints.data());
        if (options.map) {
            xcb_map_window(connection, window_);
        }
        sync(connection);
    }
    ~TestWindow() { destroy(); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    xcb_window_t id() const { return window_; }
    std::uint16_t width() const { return width_; }
    std::uint16_t height() const { return height_; }

    void map() {
        xcb_map_window(connection_, window_);
        sync(connection_);
    }
    void unmap() {
        xcb_unmap_window(connection_, window_);
        sync(connection_);
    }
    void raise() {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        sync(connection_);
    }
    void destroy() {
        if (window_ != XCB_WINDOW_NONE) {
            xcb_destroy_window(connection_, window_);
            xcb_free_pixmap(connection_, background_);
            sync(connection_);
            window_ = XCB_WINDOW_NONE;
        }
    }

private:
    void setAtoms(const char* property, const std::vector<std::string>& names) {
        if (names.empty()) {
            return;
        }
        std::vector<xcb_atom_t> atoms;
        for (const std::string& name : names) {
            atoms.push_back(internAtom(connection_, name.c_str()));
        }
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, internAtom(connection_, property),
                            XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(atoms.size()), atoms.data());
    }

    xcb_connection_t* connection_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    xcb_pixmap_t background_ = XCB_NONE;
    std::uint16_t width_;
    std::uint16_t height_;
};

} // namespace backreel::test
