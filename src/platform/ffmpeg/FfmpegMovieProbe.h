#pragma once

#include "platform/MovieFile.h"

#include <cstdint>

namespace backreel {

// The media subtype the probe reports for an audio codec: "aac " for AAC, ".mp3" for MP3,
// otherwise the container's own tag when it is four characters, otherwise a name for a few common
// codecs, "lpcm" for PCM and "????" for the rest. codecTag is FFmpeg's codec_tag (first character
// in the lowest byte).
FourCC audioFormatOf(int codecId, std::uint32_t codecTag);

// Reads a movie back with libavformat: its video and audio streams, its duration and the formats
// of its audio tracks. Failures carry FFmpeg's text. Any thread; keeps no state.
class FfmpegMovieProbe final : public MovieProbe {
public:
    Expected<MovieInfo> probe(const QString& path) override;
};

} // namespace backreel
