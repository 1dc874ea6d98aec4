#pragma once

// The X display a test runs on (scripts/virtual-desktop's, or one of the test's own): a connection
// of the test's own, or why there is none so that the test can skip.

#include "platform/x11/XcbPtr.h"
#include "support/ChildProcess.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace backreel::test {

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

class TestDisplay {
public:
    // Connects to the display in DISPLAY.
    TestDisplay() {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0') {
            missing_ = "DISPLAY is not set; run under scripts/virtual-desktop";
            return;
        }
        connection_.reset(xcb_connect(nullptr, nullptr));
        if (xcb_connection_has_error(connection_.get()) != 0) {
            missing_ = std::string("the X display ") + name + " can't be opened";
        }
    }

    // Empty when connected.
    const std::string& missing() const { return missing_; }
    xcb_connection_t* get() const { return connection_.get(); }
    const xcb_screen_t* screen() const { return xcb_setup_roots_iterator(xcb_get_setup(get())).data; }
    xcb_window_t root() const { return screen()->root; }

private:
    x11::XcbConnectionPtr connection_;
    std::string missing_;
};

// An X server of a test's own (320×240), one that can go away or lack an extension. -noreset:
// otherwise it restarts, refusing connections for a moment, each time its last client leaves.
class PrivateXServer {
public:
    explicit PrivateXServer(const std::vector<std::string>& extraArguments = {}) {
        std::vector<std::string> arguments = {"Xvfb",       "-displayfd", "1",         "-screen", "0",
                                              "320x240x24", "-noreset",   "-nolisten", "tcp"};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        if (process_.startReadingOutput(arguments)) {
            display_ = ":" + process_.firstLine().value_or("");
        }
    }

    // ":N", or empty when the server did not come up.
    std::string display() const { return display_.size() > 1 ? display_ : std::string(); }
    void stop() { process_.terminate(); }

private:
    ChildProcess process_;
    std::string display_;
};

// Points DISPLAY elsewhere (or nowhere, for none) while it lives: connections and helper processes
// made meanwhile use it.
class DisplayOverride {
public:
    explicit DisplayOverride(const std::optional<std::string>& display) {
        if (const char* current = std::getenv("DISPLAY")) {
            previous_ = current;
        }
        display ? setenv("DISPLAY", display->c_str(), 1) : unsetenv("DISPLAY");
    }
    ~DisplayOverride() { previous_ ? setenv("DISPLAY", previous_->c_str(), 1) : unsetenv("DISPLAY"); }
    DisplayOverride(const DisplayOverride&) = delete;
    DisplayOverride& operator=(const DisplayOverride&) = delete;

private:
    std::optional<std::string> previous_;
};

} // namespace backreel::test
