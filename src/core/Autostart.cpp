#include "core/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace backreel {

QString autostartPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/com.strandloft.Backreel.desktop");
}

QString autostartEntry() {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Backreel\n"
                          "Comment=Keep the last seconds of the screen, ready to save\n"
                          "Exec=backreel --buffer\n"
                          "Icon=com.strandloft.Backreel\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n");
}

bool startsAtLogin() {
    return QFileInfo::exists(autostartPath());
}

std::optional<Error> setStartAtLogin(bool start) {
    const QString path = autostartPath();
    if (!start) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            return Error(QStringLiteral("Could not remove %1.").arg(path));
        }
        return std::nullopt;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return Error(QStringLiteral("Could not make the folder %1.").arg(QFileInfo(path).absolutePath()));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(autostartEntry().toUtf8()) < 0 || !file.commit()) {
        return Error(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    }
    return std::nullopt;
}

} // namespace backreel
