#pragma once

#include "core/media/AudioPacket.h"
#include "core/media/VideoPacket.h"

#include <cstddef>
#include <QString>
#include <vector>

// What a review of the buffer can point at, as plain values: pictures by their index in the
// snapshot's video (oldest first, in presentation order), a selection from a key frame to a
// picture, and the summaries the timeline draws. Pure, any thread.
namespace backreel {

// The picture showing at `time`: the last one that starts at or before it (the first before the
// first). 0 for an empty list.
std::size_t pictureAt(const std::vector<VideoPacket>& video, MediaTime time);

// The key frame at or before the picture (the first key frame when there is none before it).
std::size_t keyFrameAtOrBefore(const std::vector<VideoPacket>& video, std::size_t index);

// The picture `steps` away, kept within the list.
std::size_t stepPicture(const std::vector<VideoPacket>& video, std::size_t index, int steps);

// The times the timeline spans: from the first picture's start to the last one's end.
MediaTime reviewStart(const std::vector<VideoPacket>& video);
MediaTime reviewEnd(const std::vector<VideoPacket>& video);

// What is saved: the pictures from `in` (a key frame) to `out`, both included.
struct ReviewSelection {
    std::size_t in = 0;
    std::size_t out = 0;

    friend bool operator==(const ReviewSelection&, const ReviewSelection&) = default;
};

// Everything: from the first key frame to the last picture.
ReviewSelection wholeSelection(const std::vector<VideoPacket>& video);
// The in point at the key frame at or before `index`; an out point before it moves to the end.
ReviewSelection withIn(const std::vector<VideoPacket>& video, ReviewSelection selection, std::size_t index);
// The out point at `index`; an in point after it moves back to the key frame at or before it.
ReviewSelection withOut(const std::vector<VideoPacket>& video, ReviewSelection selection, std::size_t index);
// From the in picture's start to the out picture's end.
MediaTime selectionLength(const std::vector<VideoPacket>& video, ReviewSelection selection);

// `count` key frames spread over the list: for each of `count` equal slots, the key frame at or
// before the slot's middle. Empty without pictures.
std::vector<std::size_t> thumbnailPictures(const std::vector<VideoPacket>& video, int count);

// The sound's loudest sample (0…1) in each of `columns` equal slices of [from, to), of one origin,
// as its packets tell it: a packet's loudest counts in every slice its sound touches. A slice
// without sound is 0.
std::vector<float> waveformPeaks(const std::vector<AudioPacket>& audio, AudioOrigin origin, MediaTime from,
                                 MediaTime to, int columns);

// "1:05.3": minutes, seconds and tenths of a time within the review; negative times are 0.
QString reviewTimeText(MediaTime offset);

} // namespace backreel
