#include "ui/DisplayName.h"

#include <QGuiApplication>
#include <QScreen>

namespace backreel {

QString displayName(const Display& display, const std::vector<ScreenDescription>& screens) {
    if (!display.name.isEmpty()) {
        for (const ScreenDescription& screen : screens) {
            if (screen.name != display.name) {
                continue;
            }
            const QString model = screen.model.trimmed();
            return model.isEmpty() ? screen.name
                                   : screen.name + QStringLiteral(" (") + model + QLatin1Char(')');
        }
    }
    return QStringLiteral("Display ") + QString::number(display.displayID);
}

std::vector<ScreenDescription> currentScreens() {
    std::vector<ScreenDescription> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(ScreenDescription{screen->name(), screen->model()});
    }
    return screens;
}

} // namespace backreel
