#include "app/Appcast.h"

#include "app/UpdateCheckResult.h"

#include <gtest/gtest.h>

using namespace backreel;
using Kind = UpdateCheckResult::Kind;

namespace {
AppcastItem item(QString shortVersion, QString version = {}) {
    AppcastItem result;
    result.shortVersionString = std::move(shortVersion);
    result.version = std::move(version);
    result.link = QUrl(QStringLiteral("https://example.org/") + result.shortVersionString);
    return result;
}
} // namespace

// An item's download page is its link, else its enclosure; the channel's own link is no item's.
TEST(Appcast, ReadsVersionsLinksAndEnclosures) {
    const Expected<std::vector<AppcastItem>> items = parseAppcast(R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Backreel</title><link>https://example.org/backreel</link>
    <item><title>Version 0.2.0</title><link>https://example.org/backreel/0.2.0</link>
      <sparkle:version>20</sparkle:version><sparkle:shortVersionString>0.2.0</sparkle:shortVersionString>
    </item>
    <item><enclosure url="https://example.org/backreel-0.10.1.tar.gz" sparkle:version="101"
                     sparkle:shortVersionString="0.10.1" length="100" type="application/octet-stream"/></item>
  </channel>
</rss>)");
    ASSERT_TRUE(items && items.value().size() == 2u);
    const AppcastItem& first = items.value()[0];
    EXPECT_EQ(
        QStringList({first.title, first.version, first.shortVersionString, first.downloadPage().toString()}),
        QStringList({"Version 0.2.0", "20", "0.2.0", "https://example.org/backreel/0.2.0"}));
    const AppcastItem& second = items.value()[1];
    EXPECT_EQ(QStringList({second.version, second.shortVersionString, second.downloadPage().toString()}),
              QStringList({"101", "0.10.1", "https://example.org/backreel-0.10.1.tar.gz"}));

    EXPECT_TRUE(parseAppcast("<rss><channel><title>x</title></channel></rss>").value().empty());
    const Expected<std::vector<AppcastItem>> broken = parseAppcast("<rss>\n<channel>\n<item></channel>");
    ASSERT_FALSE(broken);
    EXPECT_TRUE(
        broken.error().description.startsWith(QStringLiteral("The update feed could not be read: ")) &&
        broken.error().description.contains(QStringLiteral("(line 3)")));
}

TEST(Appcast, OnlyHttpsOrLoopbackHttpFeedsAreFetched) {
    for (const char* url : {"https://updates.example.org/appcast.xml", "http://127.0.0.1:8080/a.xml",
                            "http://localhost:8080/a.xml", "http://[::1]:8080/a.xml"}) {
        EXPECT_TRUE(isPermittedFeedUrl(QUrl(QString::fromLatin1(url)))) << url;
    }
    for (const char* url : {"http://updates.example.org/appcast.xml", "http://192.168.1.10/a.xml",
                            "ftp://updates.example.org/a.xml", "file:///tmp/appcast.xml", ""}) {
        EXPECT_FALSE(isPermittedFeedUrl(QUrl(QString::fromLatin1(url)))) << url;
    }
}

// The newest readable version, compared number by number; without a readable short version, the
// build number is the version.
TEST(UpdateCheckResult, TheNewestReadableVersionIsComparedNumerically) {
    const std::vector<AppcastItem> items = {item("0.9.0"), item("0.10.0"), item("0.2"), item("beta")};
    const UpdateCheckResult newer = evaluateAppcast(items, QStringLiteral("0.9.5"));
    EXPECT_EQ(newer.kind, Kind::updateAvailable);
    EXPECT_EQ(newer.version, QStringLiteral("0.10.0"));
    EXPECT_EQ(newer.downloadPage, QUrl(QStringLiteral("https://example.org/0.10.0")));
    for (const char* current : {"0.10.0", "0.10", "1.0.0"}) {
        EXPECT_EQ(evaluateAppcast(items, QString::fromLatin1(current)).kind, Kind::upToDate) << current;
    }
    EXPECT_EQ(evaluateAppcast({item("beta"), item({}, "7")}, QStringLiteral("0.1.0")).version,
              QStringLiteral("7"));
    const UpdateCheckResult nothing = evaluateAppcast({item("beta")}, QStringLiteral("0.1.0"));
    EXPECT_EQ(nothing.kind, Kind::failed);
    EXPECT_EQ(nothing.message, QStringLiteral("The update feed lists no versions."));
    EXPECT_EQ(evaluateAppcast({}, QStringLiteral("0.1.0")).kind, Kind::failed);
}

// Texts are escaped for the dialog's rich text, and only web pages become links.
TEST(UpdateCheckResult, DialogTextsAreEscapedAndLinkOnlyWebPages) {
    const auto text = [](Kind kind, const char* page, const char* message = "") {
        return updateDialogText({kind, QStringLiteral("0.2.0"), QUrl(QString::fromLatin1(page)),
                                 QString::fromUtf8(message)},
                                QStringLiteral("0.1.0"))
            .informativeText;
    };
    EXPECT_TRUE(text(Kind::updateAvailable, "https://example.org/get?a=1&b=2")
                    .contains(QStringLiteral(R"(<a href="https://example.org/get?a=1&amp;b=2">)")));
    for (const char* page : {"file:///usr/bin/xterm", "javascript:alert(1)", "ftp://example.org/x"}) {
        EXPECT_FALSE(text(Kind::updateAvailable, page).contains(QStringLiteral("<a "))) << page;
    }
    EXPECT_TRUE(text(Kind::failed, "", "Connection refused <really>")
                    .contains(QStringLiteral("Connection refused &lt;really&gt;")));
}
