#include "ui/CaptureModeSelection.h"

namespace backreel {

QString modeKey(CaptureModeSelection mode) {
    switch (mode) {
    case CaptureModeSelection::display:
        return QStringLiteral("display");
    case CaptureModeSelection::window:
        return QStringLiteral("window");
    case CaptureModeSelection::region:
        return QStringLiteral("region");
    }
    return {};
}

std::optional<CaptureModeSelection> captureModeFromKey(const QString& value) {
    for (CaptureModeSelection mode : allCaptureModes()) {
        if (modeKey(mode) == value) {
            return mode;
        }
    }
    return std::nullopt;
}

QString label(CaptureModeSelection mode) {
    switch (mode) {
    case CaptureModeSelection::display:
        return QStringLiteral("Full Screen");
    case CaptureModeSelection::window:
        return QStringLiteral("Window");
    case CaptureModeSelection::region:
        return QStringLiteral("Region");
    }
    return {};
}

} // namespace backreel
