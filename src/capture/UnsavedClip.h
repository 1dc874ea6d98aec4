#pragma once

#include "common/UnsavedClipOffer.h"
#include "export/Clip.h"
#include "core/log/Log.h"

#include <optional>
#include <QString>

namespace backreel {

// A clip that was cut but is not saved yet: what a failed save handed back, or what a recording
// that ended by itself had buffered. It stays until a save writes it, the user discards it or a
// new recording starts; every change is logged. Main thread.
class UnsavedClip {
public:
    explicit UnsavedClip(Logger log)
        : log_(log) {}

    bool has() const { return clip_.has_value(); }
    // What the user is offered for it; none without a clip.
    UnsavedClipOffer offer() const { return clip_ ? offer_ : UnsavedClipOffer::none; }
    // The clip itself; only while there is one. Copies share the media's bytes.
    const Clip& clip() const { return *clip_; }

    // Keeps the clip (in place of any kept before) with the offer made for it.
    void keep(Clip clip, UnsavedClipOffer offer);
    // Lets the clip go, saying why in the log. Whether there was one.
    bool discard(const QString& why);

private:
    const Logger log_;
    std::optional<Clip> clip_;
    UnsavedClipOffer offer_ = UnsavedClipOffer::none;
};

} // namespace backreel
