#include "export/SaveLocation.h"

#include <QFileDialog>
#include <QPointer>
#include <QStandardPaths>

#include <QCoroSignal>

namespace backreel {

QString proposedFileName(const QDateTime& localTime) {
    return QStringLiteral("loopvane-") + localTime.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) +
           QStringLiteral(".mp4");
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
