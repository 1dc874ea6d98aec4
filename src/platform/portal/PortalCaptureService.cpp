#include "platform/portal/PortalCaptureService.h"

#include "core/log/Log.h"
#include "platform/portal/PortalCaptureStream.h"
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

QCoro::Task<> choose(ContentKind kind, ShareableContentCompletion completion,
                     std::shared_ptr<PortalCaptureService::Chosen> chosen) {
    const Logger log = Logger::recording();
    const QString tokenKey = portal::restoreTokenKey(kind);
    QCoro::Task<Expected<portal::ScreenCast>> starting =
        portal::startScreenCast(kind, Settings::stringValue(tokenKey).value_or(QString()));
    Expected<portal::ScreenCast> cast = co_await starting;
    if (!cast) {
        completion(cast.error());
        co_return;
    }
    // The desktop may hand out a new token each time; only the newest one is good.
    Settings::setStringValue(tokenKey, cast.value().restoreToken);
    log.info(QStringLiteral("[Start] The desktop shares node %1").arg(cast.value().stream.nodeID));
    QCoro::Task<Expected<std::shared_ptr<portal::PortalCast>>> opening =
        portal::PortalCast::open(cast.value());
    Expected<std::shared_ptr<portal::PortalCast>> running = co_await opening;
    if (!running) {
        completion(running.error());
        co_return;
    }
    std::uint32_t id = 0;
    {
        std::lock_guard lock(chosen->mutex);
        chosen->casts.clear();
        id = chosen->nextID++;
        chosen->casts.emplace(id, running.value());
    }
    completion(contentOf(id, kind, *running.value()));
}

} // namespace

PortalCaptureService::PortalCaptureService(std::shared_ptr<SystemAudioService> audio)
    : audio_(std::move(audio)) {}

void PortalCaptureService::getShareableContent(ShareableContentCompletion completion) {
    completion(ShareableContent{});
}

void PortalCaptureService::chooseContent(ContentKind kind, ShareableContentCompletion completion) {
    {
        std::lock_guard lock(chosen_->mutex);
        chosen_->casts.clear();
    }
    choose(kind, std::move(completion), chosen_);
}

std::shared_ptr<CaptureStream> PortalCaptureService::createStream(const ContentFilter& filter,
                                                                  const StreamConfiguration& configuration,
                                                                  StreamDelegate* delegate) {
    const std::uint32_t id = filter.windowContent() != nullptr ? filter.windowContent()->window.windowID
                                                               : filter.displayContent()->display.displayID;
    std::shared_ptr<portal::PortalCast> cast;
    {
        std::lock_guard lock(chosen_->mutex);
        if (auto found = chosen_->casts.find(id); found != chosen_->casts.end()) {
            cast = std::move(found->second);
            chosen_->casts.erase(found);
        }
    }
    return std::make_shared<PortalCaptureStream>(std::move(cast), filter, configuration, delegate, audio_);
}

} // namespace backreel
