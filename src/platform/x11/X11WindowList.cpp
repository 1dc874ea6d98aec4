#include "platform/x11/X11WindowList.h"

#include <algorithm>
#include <cstring>
#include <xcb/res.h>

namespace backreel::x11 {

namespace {
constexpr std::uint32_t kMaxPropertyWords = 1 << 16;

xcb_get_property_cookie_t requestProperty(const X11Connection& connection, xcb_window_t window,
                                          xcb_atom_t property, xcb_atom_t type) {
    return xcb_get_property(connection.get(), 0, window, property, type, 0, kMaxPropertyWords);
}

XcbReply<xcb_get_property_reply_t> takeProperty(const X11Connection& connection,
                                                xcb_get_property_cookie_t cookie) {
    auto reply = takeReply(xcb_get_property_reply, connection.get(), cookie);
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return nullptr; // no such property
    }
    return reply;
}

std::vector<std::uint32_t> wordsOf(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 32) {
        return {};
    }
    const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    return std::vector<std::uint32_t>(words, words + std::max(count, 0));
}

std::optional<std::uint32_t> firstWord(const xcb_get_property_reply_t* reply) {
    const std::vector<std::uint32_t> words = wordsOf(reply);
    return words.empty() ? std::nullopt : std::optional<std::uint32_t>(words.front());
}

std::optional<QString> textOf(const xcb_get_property_reply_t* reply, bool utf8) {
    if (reply == nullptr || reply->format != 8) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    // Titles may carry a terminating NUL; it is not part of the text.
    const qsizetype end = static_cast<qsizetype>(std::find(bytes, bytes + length, '\0') - bytes);
    return utf8 ? QString::fromUtf8(bytes, end) : QString::fromLatin1(bytes, end);
}

// WM_CLASS holds "instance\0class\0".
std::optional<QString> classOf(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 8) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    const char* end = bytes + length;
    const char* instanceEnd = std::find(bytes, end, '\0');
    if (instanceEnd == end) {
        return std::nullopt;
    }
    const char* classStart = instanceEnd + 1;
    const char* classEnd = std::find(classStart, end, '\0');
    if (classEnd == classStart) {
        return std::nullopt;
    }
    return QString::fromLatin1(classStart, static_cast<qsizetype>(classEnd - classStart));
}

WindowType typeOf(const X11Connection& connection, const xcb_get_property_reply_t* reply) {
    // The first type we know wins, as a window manager reads the list; vendor types are skipped.
    for (const std::uint32_t atom : wordsOf(reply)) {
        if (atom == connection.atom(Atom::netWmWindowTypeNormal))
            return WindowType::normal;
        if (atom == connection.atom(Atom::netWmWindowTypeDialog))
            return WindowType::dialog;
        if (atom == connection.atom(Atom::netWmWindowTypeUtility))
            return WindowType::utility;
        if (atom == connection.atom(Atom::netWmWindowTypeDock))
            return WindowType::dock;
        if (atom == connection.atom(Atom::netWmWindowTypeDesktop))
            return WindowType::desktop;
        for (const Atom other :
             {Atom::netWmWindowTypeToolbar, Atom::netWmWindowTypeMenu, Atom::netWmWindowTypeSplash,
              Atom::netWmWindowTypeDropdownMenu, Atom::netWmWindowTypePopupMenu, Atom::netWmWindowTypeTooltip,
              Atom::netWmWindowTypeNotification, Atom::netWmWindowTypeCombo, Atom::netWmWindowTypeDnd}) {
            if (atom == connection.atom(other)) {
                return WindowType::other;
            }
        }
    }
    return WindowType::none;
}

bool hasState(const std::vector<std::uint32_t>& states, xcb_atom_t state) {
    return std::find(states.begin(), states.end(), state) != states.end();
}

// The window manager named by the root's _NET_SUPPORTING_WM_CHECK, when its check window
// confirms it (a manager that exited leaves a stale property behind).
bool hasWindowManager(const X11Connection& connection, const xcb_get_property_reply_t* rootCheck) {
    const std::optional<std::uint32_t> checkWindow = firstWord(rootCheck);
    if (!checkWindow || *checkWindow == XCB_WINDOW_NONE) {
        return false;
    }
    auto confirm = takeProperty(connection, requestProperty(connection, *checkWindow,
                                                            connection.atom(Atom::netSupportingWmCheck),
                                                            XCB_ATOM_WINDOW));
    return confirm && firstWord(confirm.get()) == checkWindow;
}

std::vector<xcb_window_t> unmanagedTopLevels(const X11Connection& connection) {
    xcb_connection_t* c = connection.get();
    auto tree = takeReply(xcb_query_tree_reply, c, xcb_query_tree(c, connection.root()));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const auto count = static_cast<std::size_t>(std::max(xcb_query_tree_children_length(tree.get()), 0));
    std::vector<xcb_get_window_attributes_cookie_t> cookies(count);
    for (std::size_t i = 0; i < count; ++i) {
        cookies[i] = xcb_get_window_attributes(c, children[i]);
    }
    std::vector<xcb_window_t> candidates;
    for (std::size_t i = 0; i < count; ++i) {
        auto attributes = takeReply(xcb_get_window_attributes_reply, c, cookies[i]);
        if (attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED &&
            attributes->override_redirect == 0 && attributes->_class != XCB_WINDOW_CLASS_INPUT_ONLY) {
            candidates.push_back(children[i]);
        }
    }
    return findClientWindows(connection, candidates);
}
} // namespace

std::vector<xcb_window_t> findClientWindows(const X11Connection& connection,
                                            const std::vector<xcb_window_t>& topLevels) {
    xcb_connection_t* c = connection.get();
    const xcb_atom_t wmState = connection.atom(Atom::wmState);
    std::vector<xcb_get_property_cookie_t> ownState;
    std::vector<xcb_query_tree_cookie_t> trees;
    for (const xcb_window_t window : topLevels) {
        ownState.push_back(xcb_get_property(c, 0, window, wmState, XCB_ATOM_ANY, 0, 0));
        trees.push_back(xcb_query_tree(c, window));
    }
    std::vector<xcb_window_t> clients = topLevels;
    // Per top-level: its children and the cookies of their WM_STATE, asked all at once.
    std::vector<std::vector<std::pair<xcb_window_t, xcb_get_property_cookie_t>>> childStates(
        topLevels.size());
    for (std::size_t i = 0; i < topLevels.size(); ++i) {
        auto state = takeReply(xcb_get_property_reply, c, ownState[i]);
        auto tree = takeReply(xcb_query_tree_reply, c, trees[i]);
        if ((state && state->type != XCB_ATOM_NONE) || !tree) {
            continue; // the window is the client itself
        }
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        for (int k = 0; k < count; ++k) {
            childStates[i].emplace_back(children[k],
                                        xcb_get_property(c, 0, children[k], wmState, XCB_ATOM_ANY, 0, 0));
        }
    }
    for (std::size_t i = 0; i < topLevels.size(); ++i) {
        bool found = false;
        for (const auto& [child, cookie] : childStates[i]) {
            auto state = takeReply(xcb_get_property_reply, c, cookie); // every reply is collected
            if (!found && state && state->type != XCB_ATOM_NONE) {
                clients[i] = child;
                found = true;
            }
        }
    }
    return clients;
}

std::vector<std::int64_t> queryProcessIDs(const X11Connection& connection,
                                          const std::vector<xcb_window_t>& windows) {
    xcb_connection_t* c = connection.get();
    const bool useResource = connection.extensions().resource;
    std::vector<xcb_res_query_client_ids_cookie_t> resourceCookies(windows.size());
    std::vector<xcb_get_property_cookie_t> pidCookies(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (useResource) {
            const xcb_res_client_id_spec_t pidQuery{windows[i], XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            resourceCookies[i] = xcb_res_query_client_ids(c, 1, &pidQuery);
        }
        pidCookies[i] =
            requestProperty(connection, windows[i], connection.atom(Atom::netWmPid), XCB_ATOM_CARDINAL);
    }
    std::vector<std::int64_t> pids(windows.size(), 0);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (useResource) {
            if (auto reply = takeReply(xcb_res_query_client_ids_reply, c, resourceCookies[i])) {
                for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
                     xcb_res_client_id_value_next(&it)) {
                    const auto& [answered, length] = *it.data; // the query an answer belongs to
                    if ((answered.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
                        xcb_res_client_id_value_value_length(it.data) >= 1) {
                        pids[i] = *xcb_res_client_id_value_value(it.data);
                    }
                }
            }
        }
        auto property = takeProperty(connection, pidCookies[i]);
        if (pids[i] == 0) {
            pids[i] = firstWord(property.get()).value_or(0);
        }
    }
    return pids;
}

std::vector<X11WindowInfo> queryClientWindows(const X11Connection& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_window_t root = connection.root();
    const auto checkCookie =
        requestProperty(connection, root, connection.atom(Atom::netSupportingWmCheck), XCB_ATOM_WINDOW);
    const auto stackingCookie =
        requestProperty(connection, root, connection.atom(Atom::netClientListStacking), XCB_ATOM_WINDOW);
    const auto desktopCookie =
        requestProperty(connection, root, connection.atom(Atom::netCurrentDesktop), XCB_ATOM_CARDINAL);
    auto check = takeProperty(connection, checkCookie);
    auto stacking = takeProperty(connection, stackingCookie);
    auto currentDesktopReply = takeProperty(connection, desktopCookie);

    std::vector<xcb_window_t> clients;
    std::optional<std::uint32_t> currentDesktop;
    if (hasWindowManager(connection, check.get()) && stacking) {
        clients = wordsOf(stacking.get());
        currentDesktop = firstWord(currentDesktopReply.get());
    } else {
        clients = unmanagedTopLevels(connection);
    }

    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t netName, name, windowClass, type, state, desktop;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(clients.size());
    for (const xcb_window_t window : clients) {
        cookies.push_back(Cookies{
            xcb_get_window_attributes(c, window),
            xcb_get_geometry(c, window),
            xcb_translate_coordinates(c, window, root, 0, 0),
            requestProperty(connection, window, connection.atom(Atom::netWmName),
                            connection.atom(Atom::utf8String)),
            requestProperty(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY),
            requestProperty(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
            requestProperty(connection, window, connection.atom(Atom::netWmWindowType), XCB_ATOM_ATOM),
            requestProperty(connection, window, connection.atom(Atom::netWmState), XCB_ATOM_ATOM),
            requestProperty(connection, window, connection.atom(Atom::netWmDesktop), XCB_ATOM_CARDINAL),
        });
    }
    const std::vector<std::int64_t> pids = queryProcessIDs(connection, clients);

    std::vector<X11WindowInfo> windows;
    windows.reserve(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i) {
        auto attributes = takeReply(xcb_get_window_attributes_reply, c, cookies[i].attributes);
        auto geometry = takeReply(xcb_get_geometry_reply, c, cookies[i].geometry);
        auto origin = takeReply(xcb_translate_coordinates_reply, c, cookies[i].origin);
        auto netName = takeProperty(connection, cookies[i].netName);
        auto name = takeProperty(connection, cookies[i].name);
        auto windowClass = takeProperty(connection, cookies[i].windowClass);
        auto type = takeProperty(connection, cookies[i].type);
        auto state = takeProperty(connection, cookies[i].state);
        auto desktop = takeProperty(connection, cookies[i].desktop);
        if (!attributes || !geometry || !origin) {
            continue; // the window went away while we asked
        }
        X11WindowInfo info;
        info.window = clients[i];
        info.title = textOf(netName.get(), true);
        if (!info.title && name) {
            info.title = textOf(name.get(), name->type != XCB_ATOM_STRING);
        }
        info.processID = pids[i];
        info.windowClass = classOf(windowClass.get());
        info.frame = {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
        const std::vector<std::uint32_t> states = wordsOf(state.get());
        info.layer = windowLayerFor(typeOf(connection, type.get()), attributes->override_redirect != 0,
                                    hasState(states, connection.atom(Atom::netWmStateAbove)),
                                    hasState(states, connection.atom(Atom::netWmStateBelow)));
        info.isOnScreen =
            windowIsOnScreen(attributes->map_state == XCB_MAP_STATE_VIEWABLE,
                             currentDesktop ? firstWord(desktop.get()) : std::nullopt, currentDesktop);
        windows.push_back(std::move(info));
    }
    return windows;
}

} // namespace backreel::x11
