#include "support/synthetic/SyntheticMovieFile.h"

#include <QFile>

namespace backreel {

namespace {
class SyntheticMovieFile final : public MovieFile {
public:
    SyntheticMovieFile(std::shared_ptr<SyntheticMovie> movie, SyntheticMovieOptions options)
        : movie_(std::move(movie))
        , options_(std::move(options))
        , file_(movie_->path) {}

    bool open() { return file_.open(QIODevice::WriteOnly); }
    QString openError() const { return file_.errorString(); }

    MaybeError writeVideo(const VideoPacket& packet) override {
        if (options_.failVideoAt == movie_->video.size()) {
            return options_.writeError;
        }
        movie_->video.push_back(packet);
        movie_->times.push_back(packet.presentationTime);
        return std::nullopt;
    }
    MaybeError writeAudio(const AudioPacket& packet) override {
        if (movie_->tracks.audio.empty()) {
            return Error(QStringLiteral("The movie has no audio track."));
        }
        movie_->audio.push_back(packet);
        movie_->times.push_back(packet.presentationTime);
        return std::nullopt;
    }
    MaybeError finish() override {
        file_.write("synthetic movie\n");
        file_.close();
        movie_->finished = true;
        return std::nullopt;
    }

private:
    const std::shared_ptr<SyntheticMovie> movie_;
    const SyntheticMovieOptions options_;
    QFile file_;
};
} // namespace

Expected<std::unique_ptr<MovieFile>> SyntheticMovieFileService::create(const QString& path,
                                                                       const MovieTracks& tracks) {
    if (options_.createError) {
        return *options_.createError;
    }
    auto movie = std::make_shared<SyntheticMovie>();
    movie->path = path;
    movie->pathWasFree = !QFile::exists(path);
    movie->tracks = tracks;
    {
        std::lock_guard lock(mutex_);
        lastMovie_ = movie;
    }
    auto file = std::make_unique<SyntheticMovieFile>(movie, options_);
    if (!file->open()) {
        return Error(file->openError());
    }
    return std::unique_ptr<MovieFile>(std::move(file));
}

std::shared_ptr<SyntheticMovie> SyntheticMovieFileService::lastMovie() const {
    std::lock_guard lock(mutex_);
    return lastMovie_;
}

} // namespace backreel
