#pragma once

// Windows drawn with plain XCB: the content is the background pixmap, which the X server paints by
// itself, so it shows without a client that repaints.

#include "platform/x11/XcbPtr.h"
#include "support/ChildProcess.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace backreel::test {

// 0xRRGGBB pixel values; the pattern's quadrants are red, green, blue and white from the top left.
inline constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kYellow = 0xFFFF00;

inline xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const x11::XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// Waits until the server has handled everything sent so far.
inline void sync(xcb_connection_t* connection) {
    const x11::XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

inline const xcb_screen_t* screenOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
}

struct TestWindowOptions {
    int x = 0;
    int y = 0;
    int width = 200;
    int height = 100;
    std::optional<std::uint32_t> colour = std::nullopt; // one colour; else the pattern
    std::string title = {};
    const char* type = nullptr;  // a _NET_WM_WINDOW_TYPE atom
    const char* state = nullptr; // an initial _NET_WM_STATE atom
    bool overrideRedirect = false;
    bool map = true;
};

class TestWindow {
public:
    TestWindow(xcb_connection_t* connection, const TestWindowOptions& options)
        : connection_(connection)
        , window_(xcb_generate_id(connection))
        , background_(xcb_generate_id(connection)) {
        const xcb_screen_t* screen = screenOf(connection);
        const auto width = static_cast<std::uint16_t>(options.width);
        const auto height = static_cast<std::uint16_t>(options.height);
        xcb_create_pixmap(connection, screen->root_depth, background_, screen->root, width, height);
        const xcb_gcontext_t gc = xcb_generate_id(connection);
        xcb_create_gc(connection, gc, background_, 0, nullptr);
        const std::array<std::uint32_t, 4> quadrants = {kRed, kGreen, kBlue, kWhite};
        for (std::size_t i = 0; i < 4; ++i) {
            const std::uint32_t colour = options.colour.value_or(quadrants[i]);
            const auto left = static_cast<std::int16_t>(i % 2 == 0 ? 0 : width / 2);
            const auto top = static_cast<std::int16_t>(i < 2 ? 0 : height / 2);
            const xcb_rectangle_t quadrant{left, top, width, height};
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
        for (const auto& [property, value] :
             {std::pair{"_NET_WM_WINDOW_TYPE", options.type}, std::pair{"_NET_WM_STATE", options.state}}) {
            if (value != nullptr) {
                const xcb_atom_t atom = internAtom(connection, value);
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window_,
                                    internAtom(connection, property), XCB_ATOM_ATOM, 32, 1, &atom);
            }
        }
        // The place and size asked for (USPosition | USSize | PPosition | PSize), or a manager picks.
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
    ~TestWindow() {
        xcb_destroy_window(connection_, window_);
        xcb_free_pixmap(connection_, background_);
        sync(connection_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    xcb_window_t id() const { return window_; }
    void paint(std::uint32_t colour) const {
        xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &colour);
        xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
        sync(connection_);
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t window_;
    xcb_pixmap_t background_;
};

#ifdef BACKREEL_PATTERN_WINDOW_HELPER
// A window of another process (PatternWindowHelper.cpp); its id once it is up.
struct HelperWindow : ChildProcess {
    HelperWindow(int x, int y, int width, int height, const std::string& title, const char* kind = "") {
        if (start({BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(x), std::to_string(y),
                   std::to_string(width), std::to_string(height), title, kind},
                  false)) {
            id = static_cast<std::uint32_t>(std::strtoul(firstLine().c_str(), nullptr, 10));
        }
    }
    std::uint32_t id = 0;
};
#endif

// Points DISPLAY elsewhere (or nowhere) while it lives.
struct DisplayOverride {
    explicit DisplayOverride(const std::optional<std::string>& display) {
        display ? setenv("DISPLAY", display->c_str(), 1) : unsetenv("DISPLAY");
    }
    ~DisplayOverride() { previous ? setenv("DISPLAY", previous->c_str(), 1) : unsetenv("DISPLAY"); }
    const std::optional<std::string> previous =
        std::getenv("DISPLAY") != nullptr ? std::optional<std::string>(std::getenv("DISPLAY")) : std::nullopt;
};

} // namespace backreel::test
