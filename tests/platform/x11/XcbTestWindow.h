#pragma once

// Test windows drawn with plain XCB: no toolkit, no event loop. Their content is the window's
// background pixmap, which the X server paints by itself on every exposure (also into a
// redirected window's pixmap), so a window shows its pattern without a client that repaints.

#include "support/TestDisplay.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

struct TestWindowOptions {
    int x = 0;
    int y = 0;
    int width = 200;
    int height = 100;
    std::string title;
    std::optional<std::uint32_t> colour;  // one colour; else the quadrant pattern
    std::vector<std::string> windowTypes; // _NET_WM_WINDOW_TYPE atoms
    std::vector<std::string> states;      // initial _NET_WM_STATE atoms
    bool overrideRedirect = false;
    bool map = true;
};

inline TestWindowOptions windowAt(int x, int y, int width, int height,
                                  std::optional<std::uint32_t> colour = {}, std::string title = {}) {
    TestWindowOptions options;
    options.x = x;
    options.y = y;
    options.width = width;
    options.height = height;
    options.colour = colour;
    options.title = std::move(title);
    return options;
}

class TestWindow {
public:
    TestWindow(xcb_connection_t* connection, const TestWindowOptions& options)
        : connection_(connection)
        , width_(options.width)
        , height_(options.height) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        const auto width = static_cast<std::uint16_t>(options.width);
        const auto height = static_cast<std::uint16_t>(options.height);
        window_ = xcb_generate_id(connection);
        background_ = xcb_generate_id(connection);
        xcb_create_pixmap(connection, screen->root_depth, background_, screen->root, width, height);
        const xcb_gcontext_t gc = xcb_generate_id(connection);
        xcb_create_gc(connection, gc, background_, 0, nullptr);
        const auto halfWidth = static_cast<std::int16_t>(width / 2);
        const auto halfHeight = static_cast<std::int16_t>(height / 2);
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t colour = options.colour.value_or(kQuadrants[static_cast<std::size_t>(i)]);
            const std::int16_t left = i % 2 == 0 ? 0 : halfWidth;
            const std::int16_t top = i < 2 ? 0 : halfHeight;
            const xcb_rectangle_t quadrant{left, top,
                                           static_cast<std::uint16_t>(i % 2 == 0 ? halfWidth : width - left),
                                           static_cast<std::uint16_t>(i < 2 ? halfHeight : height - top)};
            xcb_change_gc(connection, gc, XCB_GC_FOREGROUND, &colour);
            xcb_poly_fill_rectangle(connection, background_, gc, 1, &quadrant);
        }
        xcb_free_gc(connection, gc);

        const std::uint32_t values[] = {background_, options.overrideRedirect ? 1u : 0u};
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window_, screen->root,
                          static_cast<std::int16_t>(options.x), static_cast<std::int16_t>(options.y), width,
                          height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        if (!options.title.empty()) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window_,
                                internAtom(connection, "_NET_WM_NAME"), internAtom(connection, "UTF8_STRING"),
                                8, static_cast<std::uint32_t>(options.title.size()), options.title.data());
        }
        setAtoms("_NET_WM_WINDOW_TYPE", options.windowTypes);
        setAtoms("_NET_WM_STATE", options.states);
        // Openbox places new windows where it likes unless the program asked for a position:
        // USPosition | USSize | PPosition | PSize, then the place and size.
        std::array<std::uint32_t, 18> hints{1 | 2 | 4 | 8, static_cast<std::uint32_t>(options.x),
                                            static_cast<std::uint32_t>(options.y), width, height};
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
    int width() const { return width_; }
    int height() const { return height_; }

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
        std::vector<xcb_atom_t> atoms;
        for (const std::string& name : names) {
            atoms.push_back(internAtom(connection_, name.c_str()));
        }
        if (!atoms.empty()) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_,
                                internAtom(connection_, property), XCB_ATOM_ATOM, 32,
                                static_cast<std::uint32_t>(atoms.size()), atoms.data());
        }
    }

    xcb_connection_t* connection_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    xcb_pixmap_t background_ = XCB_NONE;
    int width_;
    int height_;
};

} // namespace backreel::test
