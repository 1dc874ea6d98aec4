#pragma once

#include "platform/ShareableContent.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowList.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace backreel::x11 {

// The monitors of the screen in the server's order, with the index of the main one.
struct X11Displays {
    std::vector<Display> displays;
    std::optional<std::size_t> mainIndex;

    std::uint32_t mainDisplayID() const { return mainIndex ? displays[*mainIndex].displayID : 0; }
};

// RandR 1.5 monitors: id = the monitor's name atom, name = the atom's name. QScreen::name() on X11
// is the RandR output's name; for monitors made with `xrandr --setmonitor` and for the automatic
// one-output monitors the two are the same. Without RandR 1.5 the whole screen is one display
// named "default". Blocks for two round trips.
X11Displays queryDisplays(const X11Connection& connection);

// The application of a process: its name from /proc/PID/comm; the identifier is Backreel's own
// for this process, otherwise the executable's file name (or the name, when /proc/PID/exe can't
// be read). Falls back to the window class for both when the process can't be read.
RunningApplication applicationForProcess(std::int64_t processID, const std::optional<QString>& windowClass);

// The window, as Window reports it.
Window windowFromInfo(const X11WindowInfo& info);

// Everything that can be captured, with one RunningApplication per distinct process among the
// windows, and this process always. Windows are in the server's stacking order, bottom-to-top.
ShareableContent queryShareableContent(const X11Connection& connection);

} // namespace backreel::x11
