#include "export/DesktopSaveFlow.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>

namespace backreel {

QString saveFailureReason(const Error& error) {
    switch (error.systemError) {
    case ENOSPC:
        return QStringLiteral("there is no space left on the device.");
    case EDQUOT:
        return QStringLiteral("your disk quota is used up.");
    case EFBIG:
        return QStringLiteral("the movie is too large for the device.");
    case EROFS:
        return QStringLiteral("the folder is read-only.");
    case EACCES:
    case EPERM:
        return QStringLiteral("you are not allowed to write in the folder.");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the folder no longer exists.");
    case EISDIR:
        return QStringLiteral("a folder of that name is in the way.");
    case EIO:
        return QStringLiteral("the device could not be written to (input/output error).");
    default:
        return error.description;
    }
}

QString temporaryPathBeside(const QString& location) {
    const QFileInfo info(location);
    const QString token = QString::number(QRandomGenerator::global()->generate64(), 36);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') + token +
           QStringLiteral(".part");
}

DesktopSaveFlow::DesktopSaveFlow(std::shared_ptr<SaveLocationChooser> chooser, MovieWriterServices services,
                                 std::shared_ptr<FileReveal> reveal, Logger log)
    : chooser_(std::move(chooser))
    , services_(std::move(services))
    , reveal_(std::move(reveal))
    , log_(log) {}

std::variant<QString, RecordingStatus> DesktopSaveFlow::pathInFolder(const QString& folder) const {
    if (MaybeError error = makeFolder(folder)) {
        log_.error(
            QStringLiteral("[Write] The clip folder %1 cannot be made: %2").arg(folder, error->description));
        // A file where the folder or one of its parents should be is the usual cause here.
        const bool fileInTheWay = error->systemError == ENOTDIR || error->systemError == EEXIST;
        return RecordingStatus::error(QStringLiteral("Save failed: the clip folder %1 cannot be made: %2")
                                          .arg(folder, fileInTheWay ? QStringLiteral("a file is in the way.")
                                                                    : saveFailureReason(*error)));
    }
    return clipPathIn(folder, QDateTime::currentDateTime(),
                      [](const QString& path) { return QFileInfo::exists(path); });
}

QCoro::Task<RecordingStatus> DesktopSaveFlow::save(Clip clip, SaveRequest request) {
    std::optional<QString> location;
    if (request.folder) {
        std::variant<QString, RecordingStatus> path = pathInFolder(*request.folder);
        if (auto* failed = std::get_if<RecordingStatus>(&path)) {
            co_return *failed;
        }
        location = std::get<QString>(std::move(path));
    } else {
        QCoro::Task<std::optional<QString>> choosing = chooser_->chooseLocation();
        location = co_await std::move(choosing);
    }
    if (!location || location->isEmpty()) {
        co_return RecordingStatus::idle();
    }
    log_.info(QStringLiteral("[Write] Saving to %1").arg(QFileInfo(*location).fileName()));

    const QString temporary = temporaryPathBeside(*location);
    QCoro::Task<MaybeError> writing =
        writeMovie(std::move(clip.video), std::move(clip.audio), temporary, services_, log_, clip.microphone,
                   std::move(clip.markers));
    MaybeError error = co_await std::move(writing);
    if (!error) {
        // rename() replaces the old file in one step: the location holds either the old file or
        // the complete new one, never a partial movie.
        if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(*location).constData()) !=
            0) {
            error = Error(QString::fromLocal8Bit(std::strerror(errno)), errno);
        }
    }
    if (error) {
        log_.error(QStringLiteral("[Write] Save failed: %1 (errno %2)")
                       .arg(error->description)
                       .arg(error->systemError));
        QFile::remove(temporary);
        co_return RecordingStatus::error(QStringLiteral("Save failed: ") + saveFailureReason(*error));
    }

    log_.info(QStringLiteral("[Write] Save complete ✓"));
    if (reveal_ && request.reveal) {
        reveal_->reveal(*location);
    }
    co_return RecordingStatus::saved(QUrl::fromLocalFile(*location));
}

} // namespace backreel
