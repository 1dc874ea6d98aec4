#pragma once

#include "app/UpdateFeed.h"

#include <QMetaType>
#include <QString>
#include <QUrl>
#include <vector>

namespace backreel {

// What an update check found.
struct UpdateCheckResult {
    enum class Kind { upToDate, updateAvailable, failed };

    Kind kind = Kind::failed;
    QString version;   // the newer version, for updateAvailable
    QUrl downloadPage; // where to get it, for updateAvailable
    QString message;   // what went wrong, for failed

    friend bool operator==(const UpdateCheckResult&, const UpdateCheckResult&) = default;
};

// Compares the newest release of the feed with `currentVersion`. Versions compare as numbers
// (QVersionNumber, so "1.10" is newer than "1.9"), using each item's short version string, which is
// the version people read and the one Backreel carries; items without a readable version are
// skipped. A feed without any readable version is a failure.
UpdateCheckResult evaluateUpdateFeed(const std::vector<UpdateFeedItem>& items, const QString& currentVersion);

// The texts of the dialog that shows a result: a headline and a rich-text detail in which every
// text from the feed or the network is escaped.
struct UpdateDialogText {
    QString text;
    QString informativeText;
};
UpdateDialogText updateDialogText(const UpdateCheckResult& result, const QString& currentVersion);

} // namespace backreel

Q_DECLARE_METATYPE(backreel::UpdateCheckResult)
