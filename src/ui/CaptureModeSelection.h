#pragma once

#include <array>
#include <optional>
#include <QString>

namespace backreel {

// Which kind of target the Capture picker shows. View state of the main window only: it is never
// persisted and never read back from the recording manager.
enum class CaptureModeSelection { display, window, region };

// In the order the picker lists them.
constexpr std::array<CaptureModeSelection, 3> allCaptureModes() {
    return {CaptureModeSelection::display, CaptureModeSelection::window, CaptureModeSelection::region};
}

// "display", "window", "region".
QString modeKey(CaptureModeSelection mode);
std::optional<CaptureModeSelection> captureModeFromKey(const QString& key);
// "Full Screen", "Window", "Region".
QString label(CaptureModeSelection mode);

} // namespace backreel
