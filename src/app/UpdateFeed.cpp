#include "app/UpdateFeed.h"

#include <QHostAddress>
#include <QXmlStreamReader>

namespace backreel {

namespace {
bool isSparkle(const QXmlStreamReader& reader, QLatin1String name) {
    return reader.name() == name && (reader.namespaceUri() == kSparkleNamespace ||
                                     reader.qualifiedName() == QStringLiteral("sparkle:") + name);
}

QString sparkleAttribute(const QXmlStreamAttributes& attributes, const QString& name) {
    const QStringView value = attributes.value(kSparkleNamespace, name);
    if (!value.isEmpty()) {
        return value.toString().trimmed();
    }
    return attributes.value(QStringLiteral("sparkle:") + name).toString().trimmed();
}

void readEnclosure(const QXmlStreamAttributes& attributes, UpdateFeedItem& item) {
    item.enclosureUrl = QUrl(attributes.value(QStringLiteral("url")).toString().trimmed());
    if (item.version.isEmpty()) {
        item.version = sparkleAttribute(attributes, QStringLiteral("version"));
    }
    if (item.shortVersionString.isEmpty()) {
        item.shortVersionString = sparkleAttribute(attributes, QStringLiteral("shortVersionString"));
    }
}
} // namespace

Expected<std::vector<UpdateFeedItem>> parseUpdateFeed(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    std::vector<UpdateFeedItem> items;
    std::optional<UpdateFeedItem> item;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (reader.name() == QLatin1String("item") && reader.namespaceUri().isEmpty()) {
                item = UpdateFeedItem{};
            } else if (!item) {
                continue;
            } else if (reader.name() == QLatin1String("title") && reader.namespaceUri().isEmpty()) {
                item->title = reader.readElementText().trimmed();
            } else if (reader.name() == QLatin1String("link") && reader.namespaceUri().isEmpty()) {
                item->link = QUrl(reader.readElementText().trimmed());
            } else if (isSparkle(reader, QLatin1String("version"))) {
                item->version = reader.readElementText().trimmed();
            } else if (isSparkle(reader, QLatin1String("shortVersionString"))) {
                item->shortVersionString = reader.readElementText().trimmed();
            } else if (reader.name() == QLatin1String("enclosure")) {
                readEnclosure(reader.attributes(), *item);
            }
        } else if (token == QXmlStreamReader::EndElement && item && reader.name() == QLatin1String("item")) {
            items.push_back(std::move(*item));
            item.reset();
        }
    }
    if (reader.hasError()) {
        return Error(QStringLiteral("The update feed could not be read: %1 (line %2).")
                                   .arg(reader.errorString())
                                   .arg(reader.lineNumber()));
    }
    return items;
}

bool isPermittedFeedUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) {
        return true;
    }
    if (scheme != QLatin1String("http")) {
        return false;
    }
    const QString host = url.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

} // namespace backreel
