#include "platform/x11/X11Connection.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/render.h>
#include <xcb/res.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

namespace backreel::x11 {

namespace {
constexpr std::array<const char*, static_cast<std::size_t>(Atom::count)> kAtomNames = {
    "_NET_CLIENT_LIST_STACKING",
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "_NET_WM_PID",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",
    "_NET_WM_STATE",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_BELOW",
    "_NET_WM_DESKTOP",
    "_NET_CURRENT_DESKTOP",
    "WM_STATE",
    "_XROOTPMAP_ID",
};

// The core protocol's error names, indexed by error code.
constexpr std::array<const char*, 18> kCoreErrorNames = {
    "Success",   "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
    "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
    "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation",
};

// The connection error XCB reports, as a sentence for the log.
QString connectionErrorText(int code) {
    switch (code) {
    case XCB_CONN_ERROR:
        return QStringLiteral("no X server answers there, or it refused the connection (check "
                              "DISPLAY and XAUTHORITY)");
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
        return QStringLiteral("an extension is not supported");
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
        return QStringLiteral("out of memory");
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
        return QStringLiteral("request too long");
    case XCB_CONN_CLOSED_PARSE_ERR:
        return QStringLiteral("the display name could not be parsed");
    case XCB_CONN_CLOSED_INVALID_SCREEN:
        return QStringLiteral("the display has no such screen");
    default:
        return QStringLiteral("the X server refused the connection");
    }
}
} // namespace

Expected<std::shared_ptr<X11Connection>> X11Connection::open() {
    const char* displayName = std::getenv("DISPLAY");
    if (displayName == nullptr || *displayName == '\0') {
        return Error(QStringLiteral("Cannot connect to the X display: DISPLAY is not set."));
    }
    int screenNumber = 0;
    XcbConnectionPtr connection;
    {
        // xcb_connect reads the authority file through libXau, whose file name lives in a static
        // buffer: connections opened on two threads at once would race on it.
        static std::mutex connectMutex;
        std::lock_guard lock(connectMutex);
        connection.reset(xcb_connect(displayName, &screenNumber));
    }
    if (const int code = xcb_connection_has_error(connection.get()); code != 0) {
        return Error(QStringLiteral("Cannot connect to the X display %1: %2.")
                         .arg(QString::fromLocal8Bit(displayName), connectionErrorText(code)));
    }
    const xcb_setup_t* setup = xcb_get_setup(connection.get());
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem <= 0 || screens.data == nullptr) {
        return Error(QStringLiteral("Cannot connect to the X display %1: it has no screen %2.")
                         .arg(QString::fromLocal8Bit(displayName))
                         .arg(screenNumber));
    }
    std::shared_ptr<X11Connection> result(new X11Connection(std::move(connection), screens.data));
    result->internAtoms();
    result->queryExtensions();
    if (result->hasFailed()) {
        return connectionLostError();
    }
    return result;
}

X11Connection::X11Connection(XcbConnectionPtr connection, const xcb_screen_t* screen)
    : connection_(std::move(connection))
    , screen_(screen) {}

void X11Connection::internAtoms() {
    xcb_connection_t* c = connection_.get();
    std::array<xcb_intern_atom_cookie_t, kAtomNames.size()> cookies{};
    for (std::size_t i = 0; i < kAtomNames.size(); ++i) {
        cookies[i] =
            xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])), kAtomNames[i]);
    }
    for (std::size_t i = 0; i < kAtomNames.size(); ++i) {
        if (auto reply = takeReply(xcb_intern_atom_reply, c, cookies[i])) {
            atoms_[i] = reply->atom;
        }
    }
}

void X11Connection::queryExtensions() {
    xcb_connection_t* c = connection_.get();
    // Ask for every extension at once, then collect: one round trip for all of them.
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_composite_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c, &xcb_render_id);
    xcb_prefetch_extension_data(c, &xcb_res_id);
    xcb_prefetch_extension_data(c, &xcb_damage_id);
    auto present = [c](xcb_extension_t* extension) {
        const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
        return data != nullptr && data->present != 0 ? data : nullptr;
    };
    const auto* shm = present(&xcb_shm_id);
    const auto* composite = present(&xcb_composite_id);
    const auto* randr = present(&xcb_randr_id);
    const auto* xfixes = present(&xcb_xfixes_id);
    const auto* render = present(&xcb_render_id);
    const auto* resource = present(&xcb_res_id);
    const auto* damage = present(&xcb_damage_id);

    // The version requests announce which version we speak; XFixes and Render refuse requests
    // from clients that never said.
    xcb_shm_query_version_cookie_t shmCookie{};
    xcb_composite_query_version_cookie_t compositeCookie{};
    xcb_randr_query_version_cookie_t randrCookie{};
    xcb_xfixes_query_version_cookie_t xfixesCookie{};
    xcb_render_query_version_cookie_t renderCookie{};
    xcb_res_query_version_cookie_t resourceCookie{};
    xcb_damage_query_version_cookie_t damageCookie{};
    if (shm)
        shmCookie = xcb_shm_query_version(c);
    if (composite)
        compositeCookie = xcb_composite_query_version(c, 0, 4);
    if (randr)
        randrCookie = xcb_randr_query_version(c, 1, 5);
    if (xfixes)
        xfixesCookie = xcb_xfixes_query_version(c, 5, 0);
    if (render)
        renderCookie = xcb_render_query_version(c, 0, 11);
    if (resource)
        resourceCookie = xcb_res_query_version(c, 1, 2);
    if (damage)
        damageCookie = xcb_damage_query_version(c, 1, 1);

    if (shm) {
        extensions_.shm = takeReply(xcb_shm_query_version_reply, c, shmCookie) != nullptr;
        shmFirstError_ = shm->first_error;
    }
    if (composite) {
        auto reply = takeReply(xcb_composite_query_version_reply, c, compositeCookie);
        extensions_.composite = reply && (reply->major_version > 0 || reply->minor_version >= 2);
    }
    if (randr) {
        auto reply = takeReply(xcb_randr_query_version_reply, c, randrCookie);
        extensions_.randr = reply && (reply->major_version > 1 || reply->minor_version >= 5);
        randrFirstError_ = randr->first_error;
    }
    if (xfixes) {
        auto reply = takeReply(xcb_xfixes_query_version_reply, c, xfixesCookie);
        extensions_.xfixes = reply && reply->major_version >= 2;
        xfixesFirstError_ = xfixes->first_error;
        xfixesFirstEvent_ = xfixes->first_event;
    }
    if (render) {
        auto reply = takeReply(xcb_render_query_version_reply, c, renderCookie);
        extensions_.render = reply && (reply->major_version > 0 || reply->minor_version >= 11);
        renderFirstError_ = render->first_error;
    }
    if (resource) {
        auto reply = takeReply(xcb_res_query_version_reply, c, resourceCookie);
        extensions_.resource = reply && (reply->server_major > 1 || reply->server_minor >= 2);
    }
    if (damage) {
        auto reply = takeReply(xcb_damage_query_version_reply, c, damageCookie);
        extensions_.damage = reply && (reply->major_version > 1 || reply->minor_version >= 1);
        damageFirstError_ = damage->first_error;
        damageFirstEvent_ = damage->first_event;
    }
}

QString X11Connection::errorName(const xcb_generic_error_t& error) const {
    const std::uint8_t code = error.error_code;
    if (code < kCoreErrorNames.size()) {
        return QString::fromLatin1(kCoreErrorNames[code]);
    }
    if (extensions_.shm && code == shmFirstError_) {
        return QStringLiteral("BadShmSeg");
    }
    if (extensions_.xfixes && code == xfixesFirstError_) {
        return QStringLiteral("BadRegion");
    }
    if (extensions_.damage && code == damageFirstError_) {
        return QStringLiteral("BadDamage");
    }
    if (extensions_.render && code >= renderFirstError_ && code < renderFirstError_ + 5) {
        static constexpr std::array<const char*, 5> names = {"RenderBadPictFormat", "RenderBadPicture",
                                                             "RenderBadPictOp", "RenderBadGlyphSet",
                                                             "RenderBadGlyph"};
        return QString::fromLatin1(names[static_cast<std::size_t>(code - renderFirstError_)]);
    }
    if (extensions_.randr && code >= randrFirstError_ && code < randrFirstError_ + 4) {
        static constexpr std::array<const char*, 4> names = {"BadRROutput", "BadRRCrtc", "BadRRMode",
                                                             "BadRRProvider"};
        return QString::fromLatin1(names[static_cast<std::size_t>(code - randrFirstError_)]);
    }
    return QStringLiteral("X error %1").arg(code);
}

Error X11Connection::requestError(const QString& what, const xcb_generic_error_t* error) const {
    if (error == nullptr) {
        return hasFailed()
                   ? connectionLostError()
                   : Error(QStringLiteral("%1 failed.").arg(what));
    }
    return Error(QStringLiteral("%1 failed: %2.").arg(what, errorName(*error)));
}

Error X11Connection::connectionLostError() {
    return Error(QStringLiteral("The connection to the X server was lost."));
}

} // namespace backreel::x11
