#pragma once

#include "platform/MovieFile.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace backreel {

// How the in-memory movie files behave, for tests of the code that writes them.
struct SyntheticMovieOptions {
    std::optional<Error> createError;
    // The write of the video packet with this index fails with writeError.
    std::optional<std::size_t> failVideoAt;
    Error writeError = Error(QStringLiteral("No space left on device"));
};

// What a movie was given, in the order it came.
struct SyntheticMovie {
    QString path;
    MovieTracks tracks;
    std::vector<VideoPacket> video;
    std::vector<AudioPacket> audio;
    // The time of every write, in order, to check the interleaving.
    std::vector<MediaTime> times;
    bool pathWasFree = false; // nothing existed at the path when the file was created
    bool finished = false;
};

// Movie files whose packets are kept in memory; the file itself holds a line of text, written when
// the movie is finished.
class SyntheticMovieFileService final : public MovieFileService {
public:
    explicit SyntheticMovieFileService(SyntheticMovieOptions options = {})
        : options_(std::move(options)) {}

    Expected<std::unique_ptr<MovieFile>> create(const QString& path, const MovieTracks& tracks) override;

    // The most recent movie; read it once the writing is over.
    std::shared_ptr<SyntheticMovie> lastMovie() const;
    SyntheticMovieOptions& options() { return options_; }

private:
    SyntheticMovieOptions options_;
    mutable std::mutex mutex_;
    std::shared_ptr<SyntheticMovie> lastMovie_;
};

} // namespace backreel
