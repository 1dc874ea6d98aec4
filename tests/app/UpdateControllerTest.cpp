#include "app/UpdateController.h"

#include "support/WidgetTest.h"

#include <optional>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace backreel;
using Kind = UpdateCheckResult::Kind;

namespace {

// A one-page HTTP server on the loopback interface: answers every request with the same status
// and body, then closes the connection.
class FeedServer final : public QTcpServer {
public:
    FeedServer(int status, const QByteArray& body) {
        EXPECT_TRUE(listen(QHostAddress::LocalHost, 0));
        const QByteArray answer =
            "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
            "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        connect(this, &QTcpServer::newConnection, this, [this, answer] {
            QTcpSocket* socket = nextPendingConnection();
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request, answer] {
                if ((*request += socket->readAll()).contains("\r\n\r\n")) {
                    requests.push_back(*request);
                    socket->write(answer);
                    socket->disconnectFromHost();
                }
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(serverPort())); }
    std::vector<QByteArray> requests;
};

QByteArray feed(const QByteArray& version) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Backreel</title>
    <item><title>Backreel )" +
           version + "</title><link>https://example.org/backreel/" + version + "</link>\n<sparkle:version>" +
           version + "</sparkle:version>\n</item></channel></rss>";
}

UpdateCheckResult check(UpdateController& controller) {
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    controller.checkForUpdates();
    EXPECT_TRUE(finished.wait(10'000));
    return finished.isEmpty() ? UpdateCheckResult{} : finished.front().front().value<UpdateCheckResult>();
}

} // namespace

// Every outcome ends in a dialog; only the feed is fetched, never the release itself, and never
// over plain HTTP across a network.
TEST(UpdateController, EachOutcomeIsShownInADialog) {
    struct Case {
        const char* name;
        int status; // 0: nobody listens; -1: a plain HTTP address across a network
        QByteArray body;
        Kind kind;
        const char* title;
        const char* detail; // part of the dialog's text below the title
    };
    const Case cases[] = {
        {"up to date", 200, feed("0.1.0"), Kind::upToDate, "You're up to date", "0.1.0"},
        {"newer", 200, feed("0.3.2"), Kind::updateAvailable, "Version 0.3.2 is available",
         R"(<a href="https://example.org/backreel/0.3.2">)"},
        {"http error", 404, "gone", Kind::failed, "Could not check for updates", "Not Found"},
        {"broken feed", 200, "<rss><channel><item>", Kind::failed, "Could not check for updates",
         "The update feed could not be read"},
        {"nobody listens", 0, {}, Kind::failed, "Could not check for updates", "refused"},
        {"plain http", -1, {}, Kind::failed, "Could not check for updates", "not an HTTPS address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<FeedServer> server;
        QUrl url(QStringLiteral("http://updates.example.org/appcast.xml"));
        if (c.status > 0) {
            url = server.emplace(c.status, c.body).url();
        } else if (c.status == 0) {
            url = FeedServer(200, {}).url(); // nobody listens there once the server is gone
        }
        UpdateController controller(QStringLiteral("0.1.0"), url);
        EXPECT_EQ(check(controller).kind, c.kind);
        QMessageBox* dialog = controller.resultDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->text(), QString::fromUtf8(c.title));
        EXPECT_TRUE(dialog->informativeText().contains(QString::fromUtf8(c.detail), Qt::CaseInsensitive))
            << dialog->informativeText().toStdString();
        if (server) {
            ASSERT_EQ(server->requests.size(), 1u);
            EXPECT_TRUE(server->requests[0].startsWith("GET /appcast.xml HTTP/1.1"));
            EXPECT_TRUE(server->requests[0].contains("User-Agent: Backreel/0.1.0"));
        }
        dialog->close();
    }
}

TEST(UpdateController, TheCommandReturnsAtOnceAndOneCheckRunsAtATime) {
    FeedServer server(200, feed("0.1.0"));
    UpdateController controller(QStringLiteral("0.1.0"), server.url());
    QSignalSpy finished(&controller, &UpdateController::checkFinished);
    controller.checkForUpdates();
    EXPECT_TRUE(controller.isChecking());
    EXPECT_EQ(finished.count(), 0);
    controller.checkForUpdates(); // while one runs: ignored
    ASSERT_TRUE(finished.wait(10'000));
    EXPECT_FALSE(controller.isChecking());

    // A new check replaces the previous dialog. By its end a fetch of the ignored command would
    // have been answered too.
    QPointer<QMessageBox> first = controller.resultDialog();
    check(controller);
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(server.requests.size(), 2u);
    BACKREEL_EVENTUALLY_TRUE(first.isNull() || !first->isVisible());
    EXPECT_NE(controller.resultDialog(), first.data());
    controller.resultDialog()->close();
}
