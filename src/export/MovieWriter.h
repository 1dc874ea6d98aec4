#pragma once

#include "core/Error.h"
#include "core/log/Log.h"
#include "core/media/AudioPacket.h"
#include "core/media/VideoPacket.h"
#include "export/Clip.h"
#include "platform/AudioCodec.h"
#include "platform/MovieFile.h"

#include <memory>
#include <QCoroTask>
#include <QString>
#include <vector>

namespace backreel {

// The services a save writes with.
struct MovieWriterServices {
    std::shared_ptr<MovieFileService> movieFiles;
    std::shared_ptr<MovieProbe> movieProbe;
    std::shared_ptr<AudioCodecService> audioCodecs; // for mixing the microphone into one track
};

// The audio tracks of a movie of this audio: one per origin there is, the system's first, titled
// "System audio" and "Microphone"; a mix is one track titled "System audio and microphone".
std::vector<AudioTrackSettings> audioTracks(const std::vector<AudioPacket>& audio, bool mixed);

// How much of the sound is silent, packet by packet, against how much there is (seconds).
struct SilenceMeasure {
    double silentSeconds = 0;
    double totalSeconds = 0;
};
SilenceMeasure measureSilence(const std::vector<AudioPacket>& audio);

// The chapters of a movie from startPTS to endPTS (where its last picture ends) with these markers
// (oldest first): one from each marker before the end to the next or the end, titled with its
// label ("Marker N" without one), a marker on the same moment as the one before it left out, and
// one titled "Start" before the first; none without markers in it.
std::vector<MovieChapter> chaptersFor(const std::vector<Marker>& markers, MediaTime startPTS, MediaTime endPTS);

// Writes the video and audio packets into the file merged by presentation time (a picture before sound
// of the same time; the sound in the order given, which is time order for each origin, the muxer
// interleaving the two), then finishes it. Each picture lasts until the next one (a still screen is
// captured seldom, so the packets' own durations, one frame interval, would be too short); the
// last keeps its own. Stops at the first error, which is the file's, or
// "Failed to append sample." (code 1) when the file gave no reason. Any thread.
MaybeError writeTracks(MovieFile& file, const std::vector<VideoPacket>& video,
                       const std::vector<AudioPacket>& audio);

// Writes the clip as an MPEG-4 movie at path, replacing a file already there: video and sound
// passed through, a track per origin, or the microphone mixed into the system sound's track (which
// decodes both and encodes the mix), the time line starting at the first picture.
// Then reads the file back for the log. Fails with the file's error or one of Backreel's own; a
// file that failed is left unfinished for the caller to remove. Main thread; suspends while a
// thread of its own writes.
QCoro::Task<MaybeError> writeMovie(std::vector<VideoPacket> video, std::vector<AudioPacket> audio,
                                   QString path, MovieWriterServices services, Logger log,
                                   MicrophoneTrack microphone = MicrophoneTrack::separate,
                                   std::vector<Marker> markers = {});

// The clip's two sounds mixed into one of the system's origin: both decoded, added on one time line
// and encoded again (see mixAudio()). Any thread.
Expected<std::vector<AudioPacket>> mixedSound(const std::vector<AudioPacket>& audio,
                                              AudioCodecService& codecs);

// Logs what the written file holds. Never fails the save.
QCoro::Task<> validateMovie(QString path, std::shared_ptr<MovieProbe> probe, Logger log);

} // namespace backreel
