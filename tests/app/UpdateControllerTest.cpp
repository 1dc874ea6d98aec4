#include "app/UpdateController.h"

#include "app/UpdateFeed.h"
#include "support/WidgetTest.h"

#include <QTcpServer>
#include <QTcpSocket>

using namespace backreel;
using Kind = UpdateCheckResult::Kind;

namespace {

// An HTTP server on the loopback interface that answers every request with the same page.
class FeedServer final : public QTcpServer {
public:
    FeedServer(int status, const QByteArray& body) {
        EXPECT_TRUE(listen(QHostAddress::LocalHost, 0));
        connect(this, &QTcpServer::newConnection, this, [this, status, body] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, status, body] {
                if ((request += socket->readAll()).contains("\r\n\r\n")) {
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  " Not Found\r\nContent-Length: " + QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QByteArray request;
};

UpdateFeedItem item(const QString& shortVersion, const QString& version = {}) {
    return UpdateFeedItem{
        {}, version, shortVersion, QUrl(QStringLiteral("https://example.org/") + shortVersion), {}};
}

} // namespace

// Every outcome ends in a dialog; only the feed is fetched, and never over plain HTTP across a network.
TEST(UpdateController, EachOutcomeIsShownInADialogAndFeedsAreReadAndEscaped) {
    const char* failed = "Could not check for updates";
    const std::tuple<int, QByteArray, const char*, const char*> cases[] = {
        // HTTP status (0: nobody listens, -1: a plain HTTP address across a network), page, title, text
        {200,
         R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><item>
            <sparkle:version>0.1.0</sparkle:version></item></channel></rss>)",
         "You're up to date", "0.1.0"},
        {404, "gone", failed, "Not Found"},
        {0, {}, failed, "refused"},
        {-1, {}, failed, "not an HTTPS address"},
    };
    for (const auto& [status, page, title, text] : cases) {
        SCOPED_TRACE(text);
        std::optional<FeedServer> server;
        QUrl url(QStringLiteral("http://updates.example.org/updates.xml"));
        if (status >= 0) {
            // Nobody listens at a server's address once it is gone.
            const quint16 port =
                status > 0 ? server.emplace(status, page).serverPort() : FeedServer(0, {}).serverPort();
            url = QUrl(QStringLiteral("http://127.0.0.1:%1/updates.xml").arg(port));
        }
        UpdateController controller(QStringLiteral("0.1.0"), url);
        QSignalSpy finished(&controller, &UpdateController::checkFinished);
        controller.checkForUpdates();
        ASSERT_TRUE(finished.wait(10'000));
        QMessageBox* dialog = controller.resultDialog();
        ASSERT_TRUE(dialog != nullptr && dialog->isVisible());
        EXPECT_EQ(dialog->text(), QString::fromUtf8(title));
        EXPECT_TRUE(dialog->informativeText().contains(QString::fromUtf8(text), Qt::CaseInsensitive))
            << dialog->informativeText().toStdString();
        EXPECT_TRUE(!server || (server->request.startsWith("GET /updates.xml HTTP/1.1") &&
                                server->request.contains("User-Agent: Backreel/0.1.0")));
        dialog->close();
    }

    // An item's download page is its link, else its enclosure; a broken feed is told with its line; only
    // HTTPS or loopback feeds are fetched.
    const Expected<std::vector<UpdateFeedItem>> items = parseUpdateFeed(R"(<rss
xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><link>https://example.org/</link>
<item><title>Version 0.2.0</title><sparkle:shortVersionString>0.2.0</sparkle:shortVersionString>
<enclosure url="https://example.org/0.10.1.tar.gz" sparkle:version="101" sparkle:shortVersionString="0.10.1"/>
</item></channel></rss>)");
    ASSERT_TRUE(items && items.value().size() == 1u);
    const UpdateFeedItem& first = items.value()[0];
    EXPECT_EQ(
        QStringList({first.title, first.version, first.shortVersionString, first.downloadPage().toString()}),
        QStringList({"Version 0.2.0", "101", "0.2.0", "https://example.org/0.10.1.tar.gz"}));
    const Expected<std::vector<UpdateFeedItem>> broken =
        parseUpdateFeed("<rss>\n<channel>\n<item></channel>");
    ASSERT_FALSE(broken);
    EXPECT_TRUE(
        broken.error().description.startsWith(QStringLiteral("The update feed could not be read: ")) &&
        broken.error().description.contains(QStringLiteral("(line 3)")));

    for (const char* url : {"https://example.org/a.xml", "http://127.0.0.1:8080/a.xml",
                            "http://localhost/a.xml", "http://[::1]:8080/a.xml"}) {
        EXPECT_TRUE(isPermittedFeedUrl(QUrl(QString::fromLatin1(url)))) << url;
    }
    for (const char* url : {"http://example.org/a.xml", "http://192.168.1.10/a.xml",
                            "ftp://example.org/a.xml", "file:///tmp/a.xml", ""}) {
        EXPECT_FALSE(isPermittedFeedUrl(QUrl(QString::fromLatin1(url)))) << url;
    }

    const std::vector<UpdateFeedItem> listed = {item("0.9.0"), item("0.10.0"), item("0.2"), item("beta")};
    const QUrl newest(QStringLiteral("https://example.org/0.10.0"));
    const std::tuple<std::vector<UpdateFeedItem>, const char*, UpdateCheckResult> rows[] = {
        {listed, "0.9.5", {Kind::updateAvailable, "0.10.0", newest, {}}},
        {listed, "0.10.0", {Kind::upToDate, {}, {}, {}}},
        {listed, "0.10", {Kind::upToDate, {}, {}, {}}},
        {listed, "1.0.0", {Kind::upToDate, {}, {}, {}}},
        {{item("beta"), item({}, "7")},
         "0.1.0",
         {Kind::updateAvailable, "7", QUrl(QStringLiteral("https://example.org/")), {}}},
        {{item("beta")},
         "0.1.0",
         {Kind::failed, {}, {}, QStringLiteral("The update feed lists no versions.")}},
    };
    for (const auto& [feed, current, result] : rows) {
        EXPECT_EQ(evaluateUpdateFeed(feed, QString::fromLatin1(current)), result) << current;
    }

    const auto text = [](Kind kind, const char* page, const char* message = "") {
        const UpdateCheckResult result{kind, QStringLiteral("0.2.0"), QUrl(QString::fromLatin1(page)),
                                       QString::fromUtf8(message)};
        return updateDialogText(result, QStringLiteral("0.1.0")).informativeText;
    };
    EXPECT_TRUE(text(Kind::updateAvailable, "https://example.org/get?a=1&b=2")
                    .contains(QStringLiteral(R"(<a href="https://example.org/get?a=1&amp;b=2">)")));
    for (const char* page : {"file:///usr/bin/xterm", "javascript:alert(1)", "ftp://example.org/x"}) {
        EXPECT_FALSE(text(Kind::updateAvailable, page).contains(QStringLiteral("<a "))) << page;
    }
    EXPECT_TRUE(
        text(Kind::failed, "", "refused <really>").contains(QStringLiteral("refused &lt;really&gt;")));
}
