#include "platform/x11/X11ShareableContent.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <xcb/randr.h>

namespace backreel::x11 {

X11Displays queryDisplays(const X11Connection& connection) {
    xcb_connection_t* c = connection.get();
    X11Displays result;
    std::vector<MonitorPlacement> placements;
    if (connection.extensions().randr) {
        auto monitors =
            takeReply(xcb_randr_get_monitors_reply, c, xcb_randr_get_monitors(c, connection.root(), 1));
        if (monitors) {
            std::vector<xcb_get_atom_name_cookie_t> names;
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t& monitor = *it.data;
                Display display;
                display.displayID = monitor.name;
                display.width = monitor.width;
                display.height = monitor.height;
                display.frame = QRectF(monitor.x, monitor.y, monitor.width, monitor.height);
                result.displays.push_back(display);
                placements.push_back({monitor.primary != 0, monitor.x, monitor.y});
                names.push_back(xcb_get_atom_name(c, monitor.name));
            }
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (auto name = takeReply(xcb_get_atom_name_reply, c, names[i])) {
                    result.displays[i].name = QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                                                                xcb_get_atom_name_name_length(name.get()));
                }
            }
        }
    }
    if (result.displays.empty()) {
        // No monitor list: the screen is the one display. Its id is still an atom, as RandR's are.
        static constexpr char kName[] = "default";
        auto atom = takeReply(xcb_intern_atom_reply, c, xcb_intern_atom(c, 0, sizeof(kName) - 1, kName));
        Display display;
        display.displayID = atom ? atom->atom : 0;
        display.width = connection.rootWidth();
        display.height = connection.rootHeight();
        display.frame = QRectF(0, 0, display.width, display.height);
        display.name = QString::fromLatin1(kName);
        result.displays.push_back(display);
        placements.push_back({true, 0, 0});
    }
    result.mainIndex = mainMonitorIndex(placements);
    return result;
}

namespace {
std::optional<QString> readProcessName(std::int64_t processID) {
    std::ifstream file("/proc/" + std::to_string(processID) + "/comm");
    std::string line;
    if (!file || !std::getline(file, line) || line.empty()) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

std::optional<QString> readExecutableName(std::int64_t processID) {
    std::error_code error;
    const std::filesystem::path executable =
        std::filesystem::read_symlink("/proc/" + std::to_string(processID) + "/exe", error);
    if (error || executable.filename().empty()) {
        return std::nullopt; // another user's process, or gone
    }
    std::string name = executable.filename().string();
    // A replaced executable reads as "name (deleted)".
    static constexpr std::string_view kDeleted = " (deleted)";
    if (name.size() > kDeleted.size() && name.ends_with(kDeleted)) {
        name.resize(name.size() - kDeleted.size());
    }
    return QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size()));
}
} // namespace

RunningApplication applicationForProcess(std::int64_t processID, const std::optional<QString>& windowClass) {
    RunningApplication application;
    application.processID = processID;
    const std::optional<QString> name = processID > 0 ? readProcessName(processID) : std::nullopt;
    if (!name) {
        application.applicationName = windowClass.value_or(QString());
        application.applicationID = windowClass.value_or(QString());
        return application;
    }
    application.applicationName = *name;
    if (processID == static_cast<std::int64_t>(getpid())) {
        application.applicationID = kApplicationID;
    } else {
        application.applicationID = readExecutableName(processID).value_or(*name);
    }
    return application;
}

Window windowFromInfo(const X11WindowInfo& info) {
    Window window;
    window.windowID = info.window;
    window.title = info.title;
    if (info.processID > 0 || info.windowClass) {
        window.owningApplication = applicationForProcess(info.processID, info.windowClass);
    }
    window.frame = QRectF(info.frame.x, info.frame.y, info.frame.width, info.frame.height);
    window.windowLayer = info.layer;
    window.isOnScreen = info.isOnScreen;
    return window;
}

ShareableContent queryShareableContent(const X11Connection& connection) {
    ShareableContent content;
    content.displays = queryDisplays(connection).displays;
    std::set<std::int64_t> seen;
    for (const X11WindowInfo& info : queryClientWindows(connection)) {
        Window window = windowFromInfo(info);
        if (window.owningApplication && window.owningApplication->processID > 0 &&
            seen.insert(window.owningApplication->processID).second) {
            content.applications.push_back(*window.owningApplication);
        }
        content.windows.push_back(std::move(window));
    }
    const auto self = static_cast<std::int64_t>(getpid());
    if (seen.insert(self).second) {
        content.applications.push_back(applicationForProcess(self, std::nullopt));
    }
    return content;
}

} // namespace backreel::x11
