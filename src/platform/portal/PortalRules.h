#pragma once

#include "platform/CaptureService.h"

#include <cstdint>
#include <optional>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <vector>

class QDBusArgument;

// The screen-cast portal's conventions as plain values: request paths, source types, what the
// answers mean. No D-Bus calls; any thread.
namespace backreel::portal {

// Source types and cursor modes as the portal numbers them (bit masks).
namespace source_type {
inline constexpr std::uint32_t kMonitor = 1;
inline constexpr std::uint32_t kWindow = 2;
} // namespace source_type
namespace cursor_mode {
inline constexpr std::uint32_t kHidden = 1;
inline constexpr std::uint32_t kEmbedded = 2;
} // namespace cursor_mode
// Keep the permission until it is revoked: the restore token then works across restarts.
inline constexpr std::uint32_t kPersistUntilRevoked = 2;
// The first portal version that knows restore tokens.
inline constexpr std::uint32_t kFirstVersionWithRestore = 4;

// How a request ended, as its Response signal says.
enum class ResponseCode : std::uint32_t { success = 0, cancelled = 1, ended = 2 };

// One stream of a started screen cast.
struct CastStream {
    std::uint32_t nodeID = 0;
    std::uint32_t sourceType = 0;   // 0 when the portal did not say
    std::optional<QSize> size;      // in the desktop's logical pixels, when the portal said
    std::optional<QPoint> position; // of a monitor in the desktop's layout, when the portal said
    friend bool operator==(const CastStream&, const CastStream&) = default;
};

// The portal's source type for a kind of content; regions are cut from a monitor.
std::uint32_t sourceTypeFor(ContentKind kind);
// The cursor mode to ask for: embedded in the picture where offered, else none.
std::optional<std::uint32_t> cursorModeFor(std::uint32_t availableCursorModes);

// The sender part of request and session paths: the bus's unique name without the colon, dots as
// underscores (":1.42" → "1_42").
QString senderPathPart(const QString& uniqueName);
// The path a request with this handle token will have.
QString requestPath(const QString& uniqueName, const QString& token);

// The session a CreateSession answer made ("session_handle": a string in older portals, an object
// path in newer ones); empty when it names none.
QString sessionPathOf(const QVariantMap& results);

// The streams of a Start answer ("streams": a(ua{sv})), in the order given.
std::vector<CastStream> castStreamsOf(const QVariantMap& results);

// The settings key of the restore token for a kind of content.
QString restoreTokenKey(ContentKind kind);

// What the user is told when there is no portal, or it has no screen cast.
inline const QString kNoPortalMessage = QStringLiteral(
    "Screen capture needs xdg-desktop-portal and a portal backend for this desktop (…-gnome, -kde or -wlr)");

} // namespace backreel::portal
