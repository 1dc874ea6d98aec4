#pragma once

#include "common/RecordingStatus.h"
#include "common/UnsavedClipOffer.h"

#include <QString>
#include <vector>

namespace backreel {

// What an item of the application menu does.
enum class MenuCommand {
    none,
    showWindow,
    startRecording,
    stopAndSave,
    saveAgain,
    discardClip,
    keyboardShortcuts,
    checkForUpdates,
    quit
};

// One line of the application menu.
struct MenuItem {
    enum class Kind { command, separator, text };

    Kind kind = Kind::separator;
    QString title;
    MenuCommand command = MenuCommand::none;

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

// The menu for a status, top to bottom: "Show Window", a separator, "Start Recording" (idle,
// saved, error) or "Stop & Save" (buffering) or the plain line "Saving…" (saving); with an unsaved
// clip, unless saving or buffering, its offer ("Save Again…" or "Save What Was Buffered…") and
// "Discard Clip"; a separator, "Keyboard Shortcuts…", "Check for Updates…", a separator, "Quit Backreel".
std::vector<MenuItem> menuItems(RecordingStatus::Kind status,
                                UnsavedClipOffer offer = UnsavedClipOffer::none);

} // namespace backreel
