#pragma once

#include "platform/ShareableContent.h"

#include <QString>
#include <vector>

namespace backreel {

// What the window toolkit tells about one connected screen.
struct ScreenDescription {
    QString name;  // the output or monitor name, e.g. "DP-1"
    QString model; // the monitor's model from its EDID, empty when unknown

    friend bool operator==(const ScreenDescription&, const ScreenDescription&) = default;
};

// The label of a display in the Screen picker: the matching screen's name and model, e.g.
// "DP-1 (DELL U2720Q)", or its name alone without a model; "Display " and the id when no screen
// has the display's name.
QString displayName(const Display& display, const std::vector<ScreenDescription>& screens);

// The screens of this session, in the toolkit's order. Main thread.
std::vector<ScreenDescription> currentScreens();

} // namespace backreel
