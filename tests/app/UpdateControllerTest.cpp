#include "app/UpdateController.h"

#include "support/WidgetTest.h"

#include <optional>
#include <QSignalSpy>
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
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, status, body] {
                if ((request += socket->readAll()).contains("\r\n\r\n")) {
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  (status == 200 ? " OK" : " Not Found") + "\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                }
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(serverPort())); }
    QByteArray request;
};

QByteArray feed(const QByteArray& version) {
    return R"(<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>)"
           "<item><link>https://example.org/backreel/" +
           version + "</link><sparkle:version>" + version + "</sparkle:version></item></channel></rss>";
}

} // namespace

// Every outcome ends in a dialog; only the feed is fetched, and never over plain HTTP across a network.
TEST(UpdateController, EachOutcomeIsShownInADialog) {
    struct Case {
        int status; // 0: nobody listens; -1: a plain HTTP address across a network
        QByteArray body;
        Kind kind;
        const char* title;
        const char* detail; // part of the text below the title
    };
    const Case cases[] = {
        {200, feed("0.1.0"), Kind::upToDate, "You're up to date", "0.1.0"},
        {200, feed("0.3.2"), Kind::updateAvailable, "Version 0.3.2 is available",
         R"(<a href="https://example.org/backreel/0.3.2">)"},
        {404, "gone", Kind::failed, "Could not check for updates", "Not Found"},
        {200, "<rss><channel><item>", Kind::failed, "Could not check for updates",
         "The update feed could not be read"},
        {0, {}, Kind::failed, "Could not check for updates", "refused"},
        {-1, {}, Kind::failed, "Could not check for updates", "not an HTTPS address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail);
        std::optional<FeedServer> server;
        QUrl url(QStringLiteral("http://updates.example.org/appcast.xml"));
        if (c.status > 0) {
            url = server.emplace(c.status, c.body).url();
        } else if (c.status == 0) {
            url = FeedServer(200, {}).url(); // nobody listens there once the server is gone
        }
        UpdateController controller(QStringLiteral("0.1.0"), url);
        QSignalSpy finished(&controller, &UpdateController::checkFinished);
        controller.checkForUpdates();
        ASSERT_TRUE(finished.wait(10'000));
        EXPECT_EQ(finished.front().front().value<UpdateCheckResult>().kind, c.kind);
        QMessageBox* dialog = controller.resultDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->text(), QString::fromUtf8(c.title));
        EXPECT_TRUE(dialog->informativeText().contains(QString::fromUtf8(c.detail), Qt::CaseInsensitive))
            << dialog->informativeText().toStdString();
        EXPECT_TRUE(!server || (server->request.startsWith("GET /appcast.xml HTTP/1.1") &&
                                server->request.contains("User-Agent: Backreel/0.1.0")));
        dialog->close();
    }
}
