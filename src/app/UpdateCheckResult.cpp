#include "app/UpdateCheckResult.h"

#include <QVersionNumber>

namespace backreel {

UpdateCheckResult evaluateUpdateFeed(const std::vector<UpdateFeedItem>& items, const QString& currentVersion) {
    const UpdateFeedItem* newest = nullptr;
    QVersionNumber newestVersion;
    for (const UpdateFeedItem& item : items) {
        const QVersionNumber parsed = QVersionNumber::fromString(item.displayVersion());
        if (parsed.isNull()) {
            continue;
        }
        // Trailing zeros say nothing: "0.10" and "0.10.0" are the same version.
        const QVersionNumber version = parsed.normalized();
        if (newest == nullptr || version > newestVersion) {
            newest = &item;
            newestVersion = version;
        }
    }
    if (newest == nullptr) {
        return {
            UpdateCheckResult::Kind::failed, {}, {}, QStringLiteral("The update feed lists no versions.")};
    }
    if (newestVersion > QVersionNumber::fromString(currentVersion).normalized()) {
        return {
            UpdateCheckResult::Kind::updateAvailable, newest->displayVersion(), newest->downloadPage(), {}};
    }
    return {UpdateCheckResult::Kind::upToDate, {}, {}, {}};
}

UpdateDialogText updateDialogText(const UpdateCheckResult& result, const QString& currentVersion) {
    switch (result.kind) {
    case UpdateCheckResult::Kind::upToDate:
        return {QStringLiteral("You're up to date"),
                QStringLiteral("<p>Backreel %1 is the newest version available.</p>")
                    .arg(currentVersion.toHtmlEscaped())};
    case UpdateCheckResult::Kind::updateAvailable: {
        QString detail = QStringLiteral("<p>You have Backreel %1.").arg(currentVersion.toHtmlEscaped());
        // Only a web page is offered: a feed cannot make the dialog open a local file or a program.
        const QString scheme = result.downloadPage.scheme().toLower();
        if (result.downloadPage.isValid() &&
            (scheme == QLatin1String("https") || scheme == QLatin1String("http"))) {
            detail += QStringLiteral(" <a href=\"%1\">Open the download page</a>")
                          .arg(result.downloadPage.toString(QUrl::FullyEncoded).toHtmlEscaped());
        }
        return {QStringLiteral("Version %1 is available").arg(result.version),
                detail + QStringLiteral("</p>")};
    }
    case UpdateCheckResult::Kind::failed:
        break;
    }
    return {QStringLiteral("Could not check for updates"),
            QStringLiteral("<p>%1</p>").arg(result.message.toHtmlEscaped())};
}

} // namespace backreel
