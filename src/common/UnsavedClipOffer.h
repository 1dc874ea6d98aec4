#pragma once

#include <QTime>

namespace backreel {

// What the status line and the menu offer for a clip that was cut but not saved: to save it again
// after a failed save, or to save what a recording that ended by itself had buffered.
enum class UnsavedClipOffer { none, saveAgain, saveWhatWasBuffered };

// One unsaved clip as the menu and the main window show it.
struct UnsavedClipInfo {
    int id = 0;
    UnsavedClipOffer offer = UnsavedClipOffer::none;
    double seconds = 0; // what the saved movie lasts
    QTime keptAt;       // when it was kept, on the wall clock

    friend bool operator==(const UnsavedClipInfo&, const UnsavedClipInfo&) = default;
};

} // namespace backreel
