#pragma once

#include "core/Error.h"
#include "core/log/Log.h"
#include "core/media/AudioChunk.h"
#include "core/media/VideoPacket.h"
#include "export/Clip.h"
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
};

// The AAC track for audio in the format of this chunk: its channels (1 when it says 0), its rate
// (48 kHz when it says none), 96 kbit/s for mono and 192 kbit/s otherwise; its origin.
AudioTrackSettings audioTrackSettings(const AudioChunk& first);

// The audio tracks of a movie of this audio: one per origin there is, the system's first, titled
// "System audio" and "Microphone"; a mix is one track titled "System audio and microphone".
std::vector<AudioTrackSettings> audioTracks(const std::vector<AudioChunk>& audio, bool mixed);

// True when every sample of the chunk is zero, or it has none: nothing was playing.
bool isSilent(const AudioChunk& chunk);

// How much of the audio is silent, chunk by chunk, against how much there is (seconds).
struct SilenceMeasure {
    double silentSeconds = 0;
    double totalSeconds = 0;
};
SilenceMeasure measureSilence(const std::vector<AudioChunk>& audio);

// The chapters of a movie from startPTS to endPTS (where its last picture ends) with these markers
// (oldest first): one from each marker before the end to the next or the end, titled with its
// label ("Marker N" without one), a marker on the same moment as the one before it left out, and
// one titled "Start" before the first; none without markers in it.
std::vector<MovieChapter> chaptersFor(const std::vector<Marker>& markers, MediaTime startPTS, MediaTime endPTS);

// Writes the packets and chunks into the file merged by presentation time (a picture before sound
// of the same time), then finishes it. Each picture lasts until the next one (a still screen is
// captured seldom, so the packets' own durations, one frame interval, would be too short); the
// last keeps its own. Stops at the first error, which is the file's, or
// "Failed to append sample." (code 1) when the file gave no reason. Any thread.
MaybeError writeTracks(MovieFile& file, const std::vector<VideoPacket>& video,
                       const std::vector<AudioChunk>& audio);

// Writes the clip as an MPEG-4 movie at path, replacing a file already there: video passed
// through, audio (when there is any) encoded to AAC, a track per origin or all mixed into one,
// the time line starting at the first picture.
// Then reads the file back for the log. Fails with the file's error or one of Backreel's own; a
// file that failed is left unfinished for the caller to remove. Main thread; suspends while a
// thread of its own writes.
QCoro::Task<MaybeError> writeMovie(std::vector<VideoPacket> video, std::vector<AudioChunk> audio,
                                   QString path, MovieWriterServices services, Logger log,
                                   MicrophoneTrack microphone = MicrophoneTrack::separate,
                                   std::vector<Marker> markers = {});

// Logs what the written file holds. Never fails the save.
QCoro::Task<> validateMovie(QString path, std::shared_ptr<MovieProbe> probe, Logger log);

} // namespace backreel
