#pragma once

#include "core/Error.h"
#include "core/media/AudioPacket.h"
#include "core/media/FourCC.h"
#include "core/media/MediaTime.h"
#include "core/media/VideoPacket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <QString>
#include <vector>

namespace backreel {

// An AAC track of a movie: its packets' stream, the sound it takes (by origin), and its title.
struct AudioTrackSettings {
    AudioStreamFormat format;
    AudioOrigin origin = AudioOrigin::system;
    QString title = {};

    friend bool operator==(const AudioTrackSettings&, const AudioTrackSettings&) = default;
};

// A chapter of a movie, on the clock of its packets, titled.
struct MovieChapter {
    MediaTime start;
    MediaTime end;
    QString title;

    friend bool operator==(const MovieChapter&, const MovieChapter&) = default;
};

// The tracks of a movie and where its time line starts: time stamps in the file count from
// startTime, and audio before it is not played. The audio tracks follow the video in this order,
// one per origin at most.
struct MovieTracks {
    VideoStreamFormatPtr video;
    std::vector<AudioTrackSettings> audio;
    MediaTime startTime;
    std::vector<MovieChapter> chapters = {};
};

// An MPEG-4 movie being written, in the manner of FFmpeg's muxing loop: packets go in interleaved
// by time, each call writes what it can and returns, finish() completes the file. Video and sound
// are passed through; sound before the start time is in the file but not played.
//
// Thread contract: one thread at a time (the saving worker); no call after finish() or after a
// call failed. Destroying an unfinished movie leaves an incomplete file for the caller to remove.
class MovieFile {
public:
    virtual ~MovieFile() = default;

    virtual MaybeError writeVideo(const VideoPacket& packet) = 0;
    // Into the track of the packet's origin, which the movie must have; each track's packets in
    // time order, in its format.
    virtual MaybeError writeAudio(const AudioPacket& packet) = 0;
    // Writes the index.
    virtual MaybeError finish() = 0;
};

class MovieFileService {
public:
    virtual ~MovieFileService() = default;
    // Creates the file (replacing none: the caller removes an old one) and opens its tracks. Fails
    // with the reason the file or a track cannot be made. Any thread.
    virtual Expected<std::unique_ptr<MovieFile>> create(const QString& path, const MovieTracks& tracks) = 0;
};

// What a written movie holds, read back from the file.
struct MovieInfo {
    std::size_t videoTrackCount = 0;
    std::size_t audioTrackCount = 0;
    double durationSeconds = 0;
    // The codec tag of each audio track ("aac " for AAC), and its title (empty without one).
    std::vector<FourCC> audioFormats;
    std::vector<QString> audioTitles;
};

class MovieProbe {
public:
    virtual ~MovieProbe() = default;
    // Any thread; reads the file.
    virtual Expected<MovieInfo> probe(const QString& path) = 0;
};

} // namespace backreel
