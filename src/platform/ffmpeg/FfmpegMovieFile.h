#pragma once

#include "platform/MovieFile.h"

namespace backreel {

// Makes MP4 files with libavformat, the way FFmpeg's own muxing loop does it: the streams are set
// up and the header written when the file is made; each call hands its packets to
// av_interleaved_write_frame() and returns; finish() writes the index and moves it to the front
// (+faststart), so players start at once.
//
// Video is passed through: the stream takes its codec, size and parameter sets from the track's
// VideoStreamFormat ("avc1" for H.264, "hvc1" for HEVC), and each packet is written as it is, its
// bytes shared with the caller's packet, never copied; the muxer turns Annex B into the
// length-prefixed form MP4 keeps. Time stamps count in 1/90000 s from the tracks' start time.
// AAC is passed through too, each packet at its own time in samples from the start: the packets
// before the start (the one the first sound needs to decode, the encoder's priming) are written
// and cut by the edit list the muxer writes.
//
// The file is created (or emptied) with the user's usual permissions. Creation fails with FFmpeg's
// text, and the path when the file itself cannot be made ("Permission denied
// (/srv/movies/clip.mp4)"). Destroying a file unfinished closes it as it stands. Any thread.
class FfmpegMovieFileService final : public MovieFileService {
public:
    Expected<std::unique_ptr<MovieFile>> create(const QString& path, const MovieTracks& tracks) override;
};

} // namespace backreel
