#pragma once

#include "common/UnsavedClipOffer.h"
#include "core/log/Log.h"
#include "export/Clip.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <QString>
#include <QTime>
#include <vector>

namespace backreel {

// What a saved movie of this clip lasts: from its first picture to the end of its last.
double clipDuration(const Clip& clip);
// The bytes the clip's media take in memory.
std::int64_t clipBytes(const Clip& clip);

// The clips that were cut but are not saved: each one a failed save handed back, or what a
// recording that ended by itself had buffered, oldest first. Each stays until a save writes it or
// the user discards it; a clip whose save dialog the user cancelled (a declined clip) is offered
// only until the next recording starts. Every change is logged. Main thread.
class UnsavedClips {
public:
    struct Entry {
        UnsavedClipInfo info;
        Clip clip; // copies share the media's bytes
        bool declined = false;
        // Counts the clip against the limit of the recording that cut it, while that one runs.
        std::shared_ptr<void> held;
    };

    explicit UnsavedClips(Logger log)
        : log_(log) {}

    bool empty() const { return entries_.empty(); }
    // Oldest first.
    std::vector<UnsavedClipInfo> list() const;
    // The clip kept as `id`; null when there is none (any longer).
    const Entry* find(int id) const;
    // `id`, or the newest clip's when none is given; none without clips.
    std::optional<int> idOrNewest(std::optional<int> id) const;
    // What the clips take together, declined ones included.
    std::int64_t bytes() const;
    // Those the user has not declined: what quitting would lose.
    int undeclinedCount() const;

    // Keeps the clip with the offer made for it; its id.
    int keep(Clip clip, UnsavedClipOffer offer, QTime keptAt, bool declined = false,
             std::shared_ptr<void> held = nullptr);
    // A save of the clip failed: it is offered for Save Again, and kept like any other from now on.
    void saveFailed(int id);
    // Lets the clip go, saying why in the log. Whether there was one.
    bool discard(int id, const QString& why);
    // Lets every clip go (only the declined ones with `declinedOnly`); how many went.
    int discardAll(const QString& why, bool declinedOnly = false);

private:
    std::vector<Entry>::iterator findEntry(int id);

    const Logger log_;
    std::vector<Entry> entries_;
    int nextID_ = 1;
};

} // namespace backreel
