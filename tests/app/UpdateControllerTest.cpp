#include "app/UpdateController.h"

#include "support/WidgetTest.h"

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace backreel;
using Kind = UpdateCheckResult::Kind;

namespace {

// A one-page HTTP server on the loopback interface: answers every request with the same status and
// body, then closes the connection.
class FeedServer final : public QObject {
public:
    FeedServer(int status, QByteArray body)
        : status_(status)
        , body_(std::move(body)) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(server_.serverPort()));
    }
    int requests() const { return requests_; }
    QByteArray lastRequest() const { return lastRequest_; }

private:
    void answer(QTcpSocket* socket) {
        QByteArray& request = pending_[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        ++requests_;
        lastRequest_ = request;
        const QByteArray reason = status_ == 200 ? "OK" : "Not Found";
        socket->write("HTTP/1.1 " + QByteArray::number(status_) + ' ' + reason + "\r\n" +
                      "Content-Type: application/rss+xml\r\nContent-Length: " +
                      QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    int status_;
    QByteArray body_;
    int requests_ = 0;
    QByteArray lastRequest_;
    std::map<QTcpSocket*, QByteArray> pending_;
};

QByteArray feed(const QByteArray& shortVersion, const QByteArray& link) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Backreel</title>
    <item><title>Backreel )" +
           shortVersion + R"(</title><link>)" + link + R"(</link>
      <sparkle:version>)" +
           shortVersion + R"(</sparkle:version>
      <sparkle:shortVersionString>)" +
           shortVersion + R"(</sparkle:shortVersionString>
    </item>
  </channel>
</rss>)";
}

UpdateCheckResult check(UpdateController& controller) {
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    controller.checkForUpdates();
    EXPECT_TRUE(finished.wait(10'000));
    if (finished.isEmpty()) {
        return {};
    }
    return finished.front().front().value<UpdateCheckResult>();
}

} // namespace

TEST(UpdateController, FeedsAreFetchedOverHttpsByDefault) {
    EXPECT_EQ(UpdateController::defaultFeedUrl().scheme(), QStringLiteral("https"));
    UpdateController controller(QStringLiteral("0.1.0"));
    EXPECT_EQ(controller.feedUrl(), UpdateController::defaultFeedUrl());
}

TEST(UpdateController, UpToDate) {
    FeedServer server(200, feed("0.1.0", "https://example.org/backreel/0.1.0"));
    UpdateController controller(QStringLiteral("0.1.0"), server.url());
    const UpdateCheckResult result = check(controller);
    EXPECT_EQ(result.kind, Kind::upToDate);
    ASSERT_NE(controller.resultDialog(), nullptr);
    EXPECT_EQ(controller.resultDialog()->text(), QStringLiteral("You're up to date"));
    EXPECT_TRUE(controller.resultDialog()->isVisible());
    EXPECT_TRUE(server.lastRequest().startsWith("GET /appcast.xml HTTP/1.1"));
    EXPECT_TRUE(server.lastRequest().contains("User-Agent: Backreel/0.1.0"));
    controller.resultDialog()->close();
}

TEST(UpdateController, ANewerVersionLinksToItsDownloadPage) {
    FeedServer server(200, feed("0.3.2", "https://example.org/backreel/0.3.2"));
    UpdateController controller(QStringLiteral("0.1.0"), server.url());
    const UpdateCheckResult result = check(controller);
    EXPECT_EQ(result.kind, Kind::updateAvailable);
    EXPECT_EQ(result.version, QStringLiteral("0.3.2"));
    EXPECT_EQ(result.downloadPage, QUrl(QStringLiteral("https://example.org/backreel/0.3.2")));
    ASSERT_NE(controller.resultDialog(), nullptr);
    EXPECT_EQ(controller.resultDialog()->text(), QStringLiteral("Version 0.3.2 is available"));
    EXPECT_TRUE(controller.resultDialog()->informativeText().contains(
        QStringLiteral("<a href=\"https://example.org/backreel/0.3.2\">")));
    // Only the feed was fetched: the release itself is left to the user.
    EXPECT_EQ(server.requests(), 1);
    controller.resultDialog()->close();
}

TEST(UpdateController, ANetworkErrorIsShown) {
    QUrl unreachable;
    {
        FeedServer closed(200, {});
        unreachable = closed.url(); // nobody listens there once the server is gone
    }
    UpdateController controller(QStringLiteral("0.1.0"), unreachable);
    const UpdateCheckResult result = check(controller);
    EXPECT_EQ(result.kind, Kind::failed);
    EXPECT_TRUE(result.message.contains(QStringLiteral("refused"), Qt::CaseInsensitive))
        << result.message.toStdString();
    ASSERT_NE(controller.resultDialog(), nullptr);
    EXPECT_EQ(controller.resultDialog()->text(), QStringLiteral("Could not check for updates"));
    EXPECT_TRUE(controller.resultDialog()->informativeText().contains(result.message.toHtmlEscaped()));
    controller.resultDialog()->close();
}

TEST(UpdateController, AnHttpErrorIsShown) {
    FeedServer server(404, "gone");
    UpdateController controller(QStringLiteral("0.1.0"), server.url());
    const UpdateCheckResult result = check(controller);
    EXPECT_EQ(result.kind, Kind::failed);
    EXPECT_TRUE(result.message.contains(QStringLiteral("Not Found"))) << result.message.toStdString();
}

TEST(UpdateController, ABrokenFeedIsShown) {
    FeedServer server(200, "<rss><channel><item>");
    UpdateController controller(QStringLiteral("0.1.0"), server.url());
    const UpdateCheckResult result = check(controller);
    EXPECT_EQ(result.kind, Kind::failed);
    EXPECT_TRUE(result.message.startsWith(QStringLiteral("The update feed could not be read")));
}

TEST(UpdateController, PlainHttpAcrossANetworkIsNeverFetched) {
    UpdateController controller(QStringLiteral("0.1.0"),
                                QUrl(QStringLiteral("http://updates.example.org/appcast.xml")));
    const UpdateCheckResult result = check(controller);
    EXPECT_EQ(result.kind, Kind::failed);
    EXPECT_TRUE(result.message.contains(QStringLiteral("not an HTTPS address")));
}

TEST(UpdateController, TheCommandReturnsAtOnceAndOneCheckRunsAtATime) {
    FeedServer server(200, feed("0.1.0", "https://example.org"));
    UpdateController controller(QStringLiteral("0.1.0"), server.url());
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    controller.checkForUpdates();
    EXPECT_TRUE(controller.isChecking());
    EXPECT_EQ(finished.count(), 0);
    controller.checkForUpdates();
    ASSERT_TRUE(finished.wait(10'000));
    QTest::qWait(100);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(server.requests(), 1);
    EXPECT_FALSE(controller.isChecking());

    // A new check replaces the previous dialog.
    QPointer<QMessageBox> first = controller.resultDialog();
    ASSERT_TRUE(first);
    check(controller);
    BACKREEL_EVENTUALLY_TRUE(first.isNull() || !first->isVisible());
    EXPECT_NE(controller.resultDialog(), first.data());
    controller.resultDialog()->close();
}
