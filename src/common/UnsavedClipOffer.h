#pragma once

namespace backreel {

// What the status line and the menu offer for a clip that was cut but not saved: to save it again
// after a failed save, or to save what a recording that ended by itself had buffered.
enum class UnsavedClipOffer { none, saveAgain, saveWhatWasBuffered };

} // namespace backreel
