#include "export/SaveLocation.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <QCoroSignal>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <system_error>

namespace backreel {

QString proposedFileName(const QDateTime& localTime) {
    return QStringLiteral("loopvane-") + localTime.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) +
           QStringLiteral(".mp4");
}

QString defaultClipFolder(const QString& videos, const QString& home) {
    const QString parent = videos.isEmpty() ? home + QStringLiteral("/Videos") : videos;
    return QDir::cleanPath(parent + QStringLiteral("/Backreel"));
}

QString clipPathIn(const QString& folder, const QDateTime& localTime,
                   const std::function<bool(const QString&)>& exists) {
    const QString name = proposedFileName(localTime);
    const QString stem = name.chopped(4); // without ".mp4"
    QString path = QDir(folder).filePath(name);
    for (int number = 2; exists(path); ++number) {
        path = QDir(folder).filePath(QStringLiteral("%1-%2.mp4").arg(stem).arg(number));
    }
    return path;
}

MaybeError makeFolder(const QString& folder) {
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error) {
        return Error(QString::fromLocal8Bit(error.message().c_str()), error.value());
    }
    if (!QFileInfo(folder).isDir()) {
        return Error(QString::fromLocal8Bit(std::strerror(ENOTDIR)), ENOTDIR);
    }
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> SavePanel::chooseLocation() {
    QPointer<QFileDialog> dialog = new QFileDialog(nullptr, QStringLiteral("Save Recording"));
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setMimeTypeFilters({QStringLiteral("video/mp4")});
    dialog->setDefaultSuffix(QStringLiteral("mp4"));
    // The user's Videos folder, made if it is missing (as xdg-user-dirs would); home otherwise.
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    const bool haveVideos = !videos.isEmpty() && QDir().mkpath(videos);
    dialog->setDirectory(haveVideos ? videos : QDir::homePath());
    dialog->selectFile(proposedFileName(QDateTime::currentDateTime()));
    dialog->open();

    const int result = co_await qCoro(dialog.data(), &QFileDialog::finished);
    std::optional<QString> location;
    if (dialog && result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
        location = dialog->selectedFiles().constFirst();
    }
    if (dialog) {
        dialog->deleteLater();
    }
    co_return location;
}

} // namespace backreel
