#pragma once

#include "core/Error.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <vector>

namespace backreel {

// One release listed in the update feed (RSS, each release an item with an enclosure).
struct UpdateFeedItem {
    QString title;
    QString version;            // <sparkle:version>, or the enclosure's sparkle:version attribute
    QString shortVersionString; // <sparkle:shortVersionString>, or the enclosure's attribute
    QUrl link;                  // the release's web page (<link>)
    QUrl enclosureUrl;          // the download itself; never fetched, only a fallback page

    // The version people read: the short version string when there is one.
    QString displayVersion() const { return shortVersionString.isEmpty() ? version : shortVersionString; }
    // Where to send the user: the release page, else the download's address.
    QUrl downloadPage() const { return link.isValid() && !link.isEmpty() ? link : enclosureUrl; }

    friend bool operator==(const UpdateFeedItem&, const UpdateFeedItem&) = default;
};

inline const QString kSparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// The items of the feed, in feed order, or an error whose text names the XML problem and its line.
Expected<std::vector<UpdateFeedItem>> parseUpdateFeed(const QByteArray& xml);

// Whether a feed may be fetched from `url`: HTTPS anywhere; plain HTTP only from this machine's
// loopback addresses (a test server), never across a network.
bool isPermittedFeedUrl(const QUrl& url);

} // namespace backreel
