#include "app/UpdateController.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace backreel {

namespace {
// Where this build looks for newer versions. HTTPS only; see isPermittedFeedUrl().
constexpr char kFeedUrl[] = "https://updates.strandloft.com/backreel/updates.xml";
} // namespace

QUrl UpdateController::defaultFeedUrl() {
    return QUrl(QString::fromLatin1(kFeedUrl));
}

UpdateController::UpdateController(QString currentVersion, QUrl feedUrl, QObject* parent)
    : QObject(parent)
    , currentVersion_(std::move(currentVersion))
    , feedUrl_(std::move(feedUrl)) {
    qRegisterMetaType<UpdateCheckResult>();
    // Redirects may go on only as safely as they started: an HTTPS feed never falls back to HTTP.
    network_.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

UpdateController::~UpdateController() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
    if (dialog_) {
        delete dialog_.data();
    }
}

void UpdateController::checkForUpdates() {
    if (reply_) {
        return;
    }
    if (dialog_) {
        dialog_->close();
    }
    if (!isPermittedFeedUrl(feedUrl_)) {
        const QString message = QStringLiteral("The update feed %1 is not an HTTPS address.")
                                    .arg(feedUrl_.toString(QUrl::RemoveUserInfo));
        // Reported after the command has returned, as a network answer would be.
        QTimer::singleShot(0, this, [this, message] {
            finish({UpdateCheckResult::Kind::failed, {}, {}, message});
        });
        return;
    }

    QNetworkRequest request(feedUrl_);
    request.setTransferTimeout(kTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Backreel/%1").arg(currentVersion_));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = network_.get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaximumFeedBytes) {
            reply->setProperty("backreelTooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { replyFinished(reply); });
}

void UpdateController::replyFinished(QNetworkReply* reply) {
    reply->deleteLater();
    reply_ = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        QString message = reply->errorString();
        // Only two things cancel a check: a feed that grew too large, and the transfer timeout.
        if (reply->property("backreelTooLarge").toBool()) {
            message = QStringLiteral("The update feed is larger than an update feed can be.");
        } else if (reply->error() == QNetworkReply::OperationCanceledError) {
            message =
                QStringLiteral("The update server did not answer within %1 seconds.").arg(kTimeoutMs / 1000);
        }
        finish({UpdateCheckResult::Kind::failed, {}, {}, message});
        return;
    }
    const Expected<std::vector<UpdateFeedItem>> items = parseUpdateFeed(reply->readAll());
    if (!items) {
        finish({UpdateCheckResult::Kind::failed, {}, {}, items.error().description});
        return;
    }
    finish(evaluateUpdateFeed(items.value(), currentVersion_));
}

void UpdateController::finish(const UpdateCheckResult& result) {
    const UpdateDialogText texts = updateDialogText(result, currentVersion_);
    auto* dialog = new QMessageBox;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Software Update"));
    dialog->setIcon(result.kind == UpdateCheckResult::Kind::failed ? QMessageBox::Warning
                                                                   : QMessageBox::Information);
    // The headline may carry a version from the feed: it is shown as text, never as markup.
    dialog->setTextFormat(Qt::PlainText);
    dialog->setText(texts.text);
    dialog->setInformativeText(texts.informativeText);
    dialog->setStandardButtons(QMessageBox::Ok);
    dialog_ = dialog;
    // Shown without a nested event loop: nothing waits for the user to close it.
    dialog->open();
    emit checkFinished(result);
}

} // namespace backreel
