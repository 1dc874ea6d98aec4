#include "platform/portal/PortalRules.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace backreel::portal {

namespace {
// A D-Bus structure of two 32-bit integers ("(ii)"), as sizes and positions come.
std::optional<QPoint> pairOf(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) {
        return std::nullopt;
    }
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::StructureType) {
        return std::nullopt;
    }
    int first = 0;
    int second = 0;
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return QPoint(first, second);
}
} // namespace

std::uint32_t sourceTypeFor(ContentKind kind) {
    return kind == ContentKind::window ? source_type::kWindow : source_type::kMonitor;
}

std::optional<std::uint32_t> cursorModeFor(std::uint32_t availableCursorModes) {
    if ((availableCursorModes & cursor_mode::kEmbedded) != 0) {
        return cursor_mode::kEmbedded;
    }
    return std::nullopt;
}

QString senderPathPart(const QString& uniqueName) {
    QString part = uniqueName;
    if (part.startsWith(QLatin1Char(':'))) {
        part.remove(0, 1);
    }
    return part.replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString requestPath(const QString& uniqueName, const QString& token) {
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
        .arg(senderPathPart(uniqueName), token);
}

QString sessionPathOf(const QVariantMap& results) {
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    if (handle.canConvert<QDBusObjectPath>() && handle.userType() != QMetaType::QString) {
        return handle.value<QDBusObjectPath>().path();
    }
    return handle.toString();
}

std::vector<CastStream> castStreamsOf(const QVariantMap& results) {
    std::vector<CastStream> streams;
    const QVariant value = results.value(QStringLiteral("streams"));
    if (!value.canConvert<QDBusArgument>()) {
        return streams;
    }
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::ArrayType) {
        return streams;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        CastStream stream;
        QVariantMap properties;
        argument.beginStructure();
        argument >> stream.nodeID >> properties;
        argument.endStructure();
        stream.sourceType = properties.value(QStringLiteral("source_type")).toUInt();
        if (const std::optional<QPoint> size = pairOf(properties.value(QStringLiteral("size")));
            size && size->x() > 0 && size->y() > 0) {
            stream.size = QSize(size->x(), size->y());
        }
        stream.position = pairOf(properties.value(QStringLiteral("position")));
        streams.push_back(stream);
    }
    argument.endArray();
    return streams;
}

QString restoreTokenKey(ContentKind kind) {
    switch (kind) {
    case ContentKind::window:
        return QStringLiteral("screenCastRestoreToken.window");
    case ContentKind::region:
        return QStringLiteral("screenCastRestoreToken.region");
    case ContentKind::display:
        break;
    }
    return QStringLiteral("screenCastRestoreToken.display");
}

} // namespace backreel::portal
