#include "app/Appcast.h"

#include "app/UpdateCheckResult.h"

#include <gtest/gtest.h>

using namespace backreel;

namespace {

const QByteArray kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Backreel</title>
    <link>https://example.org/backreel</link>
    <item>
      <title>Version 0.2.0</title>
      <link>https://example.org/backreel/0.2.0</link>
      <sparkle:version>20</sparkle:version>
      <sparkle:shortVersionString>0.2.0</sparkle:shortVersionString>
      <enclosure url="https://example.org/backreel-0.2.0.tar.gz" length="100" type="application/octet-stream"/>
    </item>
    <item>
      <title>Version 0.10.1</title>
      <enclosure url="https://example.org/backreel-0.10.1.tar.gz" sparkle:version="101"
                 sparkle:shortVersionString="0.10.1" length="100" type="application/octet-stream"/>
    </item>
  </channel>
</rss>)";

AppcastItem item(QString shortVersion, QString link = QStringLiteral("https://example.org/page")) {
    AppcastItem result;
    result.shortVersionString = std::move(shortVersion);
    result.link = QUrl(link);
    return result;
}

} // namespace

TEST(Appcast, ReadsVersionsLinksAndEnclosures) {
    const Expected<std::vector<AppcastItem>> items = parseAppcast(kFeed);
    ASSERT_TRUE(items) << items.error().description.toStdString();
    ASSERT_EQ(items.value().size(), 2u);
    const AppcastItem& first = items.value()[0];
    EXPECT_EQ(first.title, QStringLiteral("Version 0.2.0"));
    EXPECT_EQ(first.version, QStringLiteral("20"));
    EXPECT_EQ(first.shortVersionString, QStringLiteral("0.2.0"));
    EXPECT_EQ(first.link, QUrl(QStringLiteral("https://example.org/backreel/0.2.0")));
    EXPECT_EQ(first.downloadPage(), first.link);
    // The channel's own link is not an item's.
    const AppcastItem& second = items.value()[1];
    EXPECT_EQ(second.version, QStringLiteral("101"));
    EXPECT_EQ(second.shortVersionString, QStringLiteral("0.10.1"));
    EXPECT_TRUE(second.link.isEmpty());
    EXPECT_EQ(second.downloadPage(), QUrl(QStringLiteral("https://example.org/backreel-0.10.1.tar.gz")));
}

TEST(Appcast, BrokenXmlNamesTheProblemAndItsLine) {
    const Expected<std::vector<AppcastItem>> items = parseAppcast("<rss>\n<channel>\n<item></channel>");
    ASSERT_FALSE(items);
    EXPECT_TRUE(items.error().description.startsWith(QStringLiteral("The update feed could not be read: ")));
    EXPECT_TRUE(items.error().description.contains(QStringLiteral("(line 3)")))
        << items.error().description.toStdString();
    EXPECT_EQ(items.error().domain, QStringLiteral("Backreel"));
}

TEST(Appcast, AFeedWithoutItemsIsEmpty) {
    const Expected<std::vector<AppcastItem>> items =
        parseAppcast("<rss><channel><title>x</title></channel></rss>");
    ASSERT_TRUE(items);
    EXPECT_TRUE(items.value().empty());
}

TEST(Appcast, OnlyHttpsOrLoopbackHttpFeedsAreFetched) {
    EXPECT_TRUE(isPermittedFeedUrl(QUrl(QStringLiteral("https://updates.example.org/appcast.xml"))));
    EXPECT_TRUE(isPermittedFeedUrl(QUrl(QStringLiteral("http://127.0.0.1:8080/appcast.xml"))));
    EXPECT_TRUE(isPermittedFeedUrl(QUrl(QStringLiteral("http://localhost:8080/appcast.xml"))));
    EXPECT_TRUE(isPermittedFeedUrl(QUrl(QStringLiteral("http://[::1]:8080/appcast.xml"))));
    EXPECT_FALSE(isPermittedFeedUrl(QUrl(QStringLiteral("http://updates.example.org/appcast.xml"))));
    EXPECT_FALSE(isPermittedFeedUrl(QUrl(QStringLiteral("http://192.168.1.10/appcast.xml"))));
    EXPECT_FALSE(isPermittedFeedUrl(QUrl(QStringLiteral("ftp://updates.example.org/appcast.xml"))));
    EXPECT_FALSE(isPermittedFeedUrl(QUrl(QStringLiteral("file:///tmp/appcast.xml"))));
    EXPECT_FALSE(isPermittedFeedUrl(QUrl()));
}

TEST(UpdateCheckResult, TheNewestVersionIsComparedNumerically) {
    const std::vector<AppcastItem> items = {
        item(QStringLiteral("0.9.0")),
        item(QStringLiteral("0.10.0"), QStringLiteral("https://example.org/0.10")),
        item(QStringLiteral("0.2"))};
    const UpdateCheckResult newer = evaluateAppcast(items, QStringLiteral("0.9.5"));
    EXPECT_EQ(newer.kind, UpdateCheckResult::Kind::updateAvailable);
    EXPECT_EQ(newer.version, QStringLiteral("0.10.0"));
    EXPECT_EQ(newer.downloadPage, QUrl(QStringLiteral("https://example.org/0.10")));

    EXPECT_EQ(evaluateAppcast(items, QStringLiteral("0.10.0")).kind, UpdateCheckResult::Kind::upToDate);
    EXPECT_EQ(evaluateAppcast(items, QStringLiteral("0.10")).kind, UpdateCheckResult::Kind::upToDate);
    EXPECT_EQ(evaluateAppcast(items, QStringLiteral("1.0.0")).kind, UpdateCheckResult::Kind::upToDate);
}

TEST(UpdateCheckResult, ItemsWithoutAReadableVersionAreSkipped) {
    AppcastItem buildNumberOnly;
    buildNumberOnly.version = QStringLiteral("7");
    const std::vector<AppcastItem> items = {item(QStringLiteral("beta")), buildNumberOnly};
    // "beta" is not a version; the build number 7 is read as version 7.
    const UpdateCheckResult result = evaluateAppcast(items, QStringLiteral("0.1.0"));
    EXPECT_EQ(result.kind, UpdateCheckResult::Kind::updateAvailable);
    EXPECT_EQ(result.version, QStringLiteral("7"));

    const UpdateCheckResult nothing =
        evaluateAppcast({item(QStringLiteral("beta"))}, QStringLiteral("0.1.0"));
    EXPECT_EQ(nothing.kind, UpdateCheckResult::Kind::failed);
    EXPECT_EQ(nothing.message, QStringLiteral("The update feed lists no versions."));
    EXPECT_EQ(evaluateAppcast({}, QStringLiteral("0.1.0")).kind, UpdateCheckResult::Kind::failed);
}

TEST(UpdateCheckResult, DialogTexts) {
    const UpdateDialogText upToDate =
        updateDialogText({UpdateCheckResult::Kind::upToDate, {}, {}, {}}, "0.1.0");
    EXPECT_EQ(upToDate.text, QStringLiteral("You're up to date"));
    EXPECT_TRUE(upToDate.informativeText.contains(QStringLiteral("0.1.0")));

    const UpdateDialogText available =
        updateDialogText({UpdateCheckResult::Kind::updateAvailable,
                          QStringLiteral("0.2.0"),
                          QUrl(QStringLiteral("https://example.org/get?a=1&b=2")),
                          {}},
                         QStringLiteral("0.1.0"));
    EXPECT_EQ(available.text, QStringLiteral("Version 0.2.0 is available"));
    EXPECT_TRUE(available.informativeText.contains(
        QStringLiteral("<a href=\"https://example.org/get?a=1&amp;b=2\">")))
        << available.informativeText.toStdString();

    const UpdateDialogText failed = updateDialogText(
        {UpdateCheckResult::Kind::failed, {}, {}, QStringLiteral("Connection refused <really>")}, "0.1.0");
    EXPECT_EQ(failed.text, QStringLiteral("Could not check for updates"));
    EXPECT_TRUE(failed.informativeText.contains(QStringLiteral("Connection refused &lt;really&gt;")));
}

TEST(UpdateCheckResult, OnlyWebPagesAreLinked) {
    for (const char* address : {"file:///usr/bin/xterm", "javascript:alert(1)", "ftp://example.org/x"}) {
        const UpdateDialogText text = updateDialogText({UpdateCheckResult::Kind::updateAvailable,
                                                        QStringLiteral("9"),
                                                        QUrl(QString::fromLatin1(address)),
                                                        {}},
                                                       QStringLiteral("0.1.0"));
        EXPECT_FALSE(text.informativeText.contains(QStringLiteral("<a "))) << address;
    }
}
