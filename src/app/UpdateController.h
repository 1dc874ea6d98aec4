#pragma once

#include "app/UpdateCheckResult.h"

#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>

namespace backreel {

// The update check behind "Check for Updates…": fetches the update feed over HTTPS, compares the
// newest version it lists with ours, and shows the outcome in a dialog ("You're up to date",
// "Version X is available" with a link to its download page, or the network's error). It only
// reads the feed: nothing is downloaded or run. The check runs in the background; the command
// returns at once.
//
// Thread contract: main thread only.
class UpdateController final : public QObject {
    Q_OBJECT

public:
    // Feeds larger than this are not a feed.
    static constexpr qint64 kMaximumFeedBytes = 1 << 20;
    static constexpr int kTimeoutMs = 15'000;

    // The feed this build checks.
    static QUrl defaultFeedUrl();

    // `feedUrl` replaces the default feed; besides HTTPS addresses only plain-HTTP loopback
    // addresses (a local test server) are fetched, any other address fails the check.
    explicit UpdateController(QString currentVersion, QUrl feedUrl = defaultFeedUrl(),
                              QObject* parent = nullptr);
    ~UpdateController() override;

    // Starts a check and returns at once; while one is under way, another request is ignored.
    void checkForUpdates();
    bool isChecking() const { return reply_ != nullptr; }

    const QUrl& feedUrl() const { return feedUrl_; }
    const QString& currentVersion() const { return currentVersion_; }
    // The dialog of the last check, while it is open.
    QMessageBox* resultDialog() const { return dialog_; }

signals:
    void checkFinished(const backreel::UpdateCheckResult& result);

private:
    void replyFinished(QNetworkReply* reply);
    void finish(const UpdateCheckResult& result);

    const QString currentVersion_;
    const QUrl feedUrl_;
    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QPointer<QMessageBox> dialog_;
};

} // namespace backreel
