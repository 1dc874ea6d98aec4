#include "platform/portal/PortalCaptureService.h"

#include "core/log/Log.h"
#include "platform/portal/PortalVideoSource.h"
#include "platform/portal/PortalCast.h"
#include "platform/portal/ScreenCastPortal.h"
#include "core/Settings.h"

namespace backreel {

namespace {

// The content that names a chosen cast: one display or one window, sized as its pictures are,
// placed where the portal says (a window, or a monitor it does not place, at the origin).
ShareableContent contentOf(std::uint32_t id, ContentKind kind, const portal::PortalCast& cast) {
    const QSize pixels = cast.pictureSize();
    const portal::CastStream& stream = cast.castStream();
    const QSize points = stream.size.value_or(pixels);
    const QPoint origin = stream.position.value_or(QPoint(0, 0));
    ShareableContent content;
    if (kind == ContentKind::window) {
        Window window;
        window.windowID = id;
        window.frame = QRectF(0, 0, points.width(), points.height());
        window.isOnScreen = true;
        content.windows.push_back(window);
    } else {
        content.displays.push_back(
            Display{id, pixels.width(), pixels.height(), QRectF(origin, QSizeF(points)), QString()});
    }
    return content;
}

} // namespace

QCoro::Task<Expected<ShareableContent, CaptureError>> PortalCaptureService::shareableContent() {
    co_return ShareableContent{};
}

QCoro::Task<Expected<ShareableContent, CaptureError>> PortalCaptureService::chooseContent(ContentKind kind,
                                                                                            int frameRate) {
    chosen_.clear();
    const Logger log = Logger::recording();
    const QString tokenKey = portal::restoreTokenKey(kind);
    QCoro::Task<Expected<portal::ScreenCast, CaptureError>> starting =
        portal::startScreenCast(kind, Settings::stringValue(tokenKey).value_or(QString()));
    Expected<portal::ScreenCast, CaptureError> cast = co_await starting;
    if (!cast) {
        co_return cast.error();
    }
    // The desktop may hand out a new token each time; only the newest one is good. A start that
    // brought none used up the old one (desktops that cannot identify us give none).
    if (cast.value().restoreToken.isEmpty()) {
        log.info(QStringLiteral("[Start] The desktop gave no restore token: the next start asks again"));
        Settings::remove(tokenKey);
    } else {
        Settings::setStringValue(tokenKey, cast.value().restoreToken);
    }
    log.info(QStringLiteral("[Start] The desktop shares node %1").arg(cast.value().stream.nodeID));
    QCoro::Task<Expected<std::shared_ptr<portal::PortalCast>>> opening = portal::PortalCast::open(cast.value(), frameRate);
    Expected<std::shared_ptr<portal::PortalCast>> running = co_await opening;
    if (!running) {
        co_return CaptureError::failed(running.error().description);
    }
    chosen_.clear();
    const std::uint32_t id = nextID_++;
    chosen_.emplace(id, running.value());
    co_return contentOf(id, kind, *running.value());
}

std::unique_ptr<VideoSource> PortalCaptureService::makeVideoSource(const ContentFilter& filter,
                                                                  const VideoSourceSettings& settings) {
    const std::uint32_t id = filter.windowContent() != nullptr ? filter.windowContent()->window.windowID
                                                               : filter.displayContent()->display.displayID;
    std::shared_ptr<portal::PortalCast> cast;
    if (auto found = chosen_.find(id); found != chosen_.end()) {
        cast = std::move(found->second);
        chosen_.erase(found);
    }
    return std::make_unique<PortalVideoSource>(std::move(cast), filter, settings);
}

} // namespace backreel
