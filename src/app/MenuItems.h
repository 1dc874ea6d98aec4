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
    saveClip,
    review,
    saveLast,
    saveAgain,
    discardClip,
    settings,
    keyboardShortcuts,
    checkForUpdates,
    quit
};

// One line of the application menu.
struct MenuItem {
    // A submenu holds its own items (the lengths of "Save Last…"); a progress line is text that
    // counts what is under way and changes its words while it stays the same line.
    enum class Kind { command, submenu, separator, text, progress };

    Kind kind = Kind::separator;
    QString title;
    MenuCommand command = MenuCommand::none;
    // The unsaved clip a Save Again or Discard item acts on.
    int clip = 0;

    // The same line of the menu: equal, or both the progress line whatever it says.
    bool sameLine(const MenuItem& other) const {
        return kind == Kind::progress ? other.kind == Kind::progress : *this == other;
    }
    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

// What the menu depends on.
struct MenuState {
    RecordingStatus::Kind status = RecordingStatus::Kind::idle;
    std::vector<UnsavedClipInfo> unsavedClips; // oldest first
    int clipSavesPending = 0;
};

// Every line any state shows, in menu order (the progress line with an empty title), but for the
// unsaved clips' lines, which come and go with the clips before the separator above "Settings…".
std::vector<MenuItem> everyMenuItem();

// The menu for a state, top to bottom: "Show Window", a separator, "Start Recording" (idle, saved,
// error) or "Stop & Save" (buffering) or the plain line "Saving…" (saving); while buffering "Save
// Clip", the submenu "Save Last…" and "Review…"; while clips are being saved the line "Saving… (N clips)";
// for each unsaved clip, unless saving or buffering, its offer ("Save Again… (8 s, 14:07)" or
// "Save What Was Buffered… (…)") and "Discard Clip (8 s, 14:07)"; a separator, "Settings…", "Keyboard
// Shortcuts…", "Check for Updates…", a separator, "Quit Backreel".
std::vector<MenuItem> menuItems(const MenuState& state);

} // namespace backreel
