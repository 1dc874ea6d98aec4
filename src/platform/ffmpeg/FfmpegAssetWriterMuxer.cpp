#include "platform/ffmpeg/FfmpegAssetWriterMuxer.h"

#include "platform/dispatch/SerialQueue.h"
#include "platform/ffmpeg/FfmpegError.h"

#include <utility>

namespace backreel {

FfmpegAssetWriterMuxer::FfmpegAssetWriterMuxer(AVOutputContextPtr context)
    : context_(std::move(context)) {}

FfmpegAssetWriterMuxer::~FfmpegAssetWriterMuxer() {
    stopThread();
}

AVStream* FfmpegAssetWriterMuxer::addStream() {
    return avformat_new_stream(context_.get(), nullptr);
}

std::size_t FfmpegAssetWriterMuxer::addTrack(AVStream* stream, AVRational packetTimeBase, PacketClock clock) {
    std::lock_guard lock(mutex_);
    Track track;
    track.stream = stream;
    track.timeBase = packetTimeBase;
    track.clock = clock;
    tracks_.push_back(std::move(track));
    return tracks_.size() - 1;
}

bool FfmpegAssetWriterMuxer::start() {
    {
        std::lock_guard lock(mutex_);
        if (status_ != AssetWriterStatus::unknown) {
            return status_ == AssetWriterStatus::writing;
        }
    }
    // The movie box goes to the front once the trailer is written, so players start at once.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int result = avformat_write_header(context_.get(), &options);
    const AVDictionaryPtr unused(options); // the muxer takes what it knows and leaves the rest

    std::lock_guard lock(mutex_);
    if (status_ != AssetWriterStatus::unknown) {
        return false; // failed meanwhile (an input that could not be set up)
    }
    if (result < 0) {
        status_ = AssetWriterStatus::failed;
        error_ = ffmpegError(result);
        return false;
    }
    status_ = AssetWriterStatus::writing;
    // The thread keeps this object alive while it runs: a completion it calls may drop the last
    // outside reference.
    thread_ = std::thread([self = shared_from_this()] { self->run(); });
    for (std::size_t index = 0; index < tracks_.size(); ++index) {
        dispatchLocked(index);
    }
    return true;
}

void FfmpegAssetWriterMuxer::startSession(MediaTime sourceTime) {
    {
        std::lock_guard lock(mutex_);
        if (sessionStart_ || !sourceTime.isValid()) {
            return;
        }
        sessionStart_ = sourceTime;
    }
    wake_.notify_all();
}

std::optional<MediaTime> FfmpegAssetWriterMuxer::sessionStart() const {
    std::lock_guard lock(mutex_);
    return sessionStart_;
}

void FfmpegAssetWriterMuxer::finish(std::function<void()> completion) {
    std::function<void()> callNow;
    {
        std::lock_guard lock(mutex_);
        // Nothing waits for a completion yet, so failing here hands none back.
        if (status_ == AssetWriterStatus::unknown) {
            failLocked(Error::backreel(0, QStringLiteral("The writer was never started.")));
        } else if (status_ == AssetWriterStatus::writing && !sessionStart_) {
            failLocked(Error::backreel(0, QStringLiteral("The writing session was never started.")));
        }
        if (status_ == AssetWriterStatus::writing && !finishRequested_) {
            finishRequested_ = true;
            completion_ = std::move(completion);
        } else {
            callNow = std::move(completion);
        }
    }
    wake_.notify_all();
    if (callNow) {
        callNow();
    }
}

void FfmpegAssetWriterMuxer::abandon() {
    {
        std::lock_guard lock(mutex_);
        // Nothing calls the feeders any more; their blocks (and what they hold) go now.
        for (Track& track : tracks_) {
            track.block = nullptr;
            track.queue = nullptr;
        }
        // A file being finished is finished first: every track has ended, so that takes only as
        // long as writing what is queued, and the completion still comes.
        if (!finishRequested_) {
            stopping_ = true;
            for (Track& track : tracks_) {
                track.packets.clear();
            }
        }
    }
    wake_.notify_all();
    stopThread();
}

void FfmpegAssetWriterMuxer::stopThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            // The last owner let go inside a completion on the muxing thread, which keeps this
            // object alive until it returns and closes the file itself.
            thread_.detach();
            return;
        }
        thread_.join();
    }
    // No thread uses the file any more. A file left unfinished is closed as it is.
    if (context_ && context_->pb != nullptr) {
        avio_closep(&context_->pb);
    }
}

void FfmpegAssetWriterMuxer::setFeeder(std::size_t track, SerialQueue& queue, std::function<void()> block) {
    std::lock_guard lock(mutex_);
    if (track >= tracks_.size() || stopping_) {
        return;
    }
    Track& entry = tracks_[track];
    if (entry.finished) {
        return;
    }
    entry.queue = &queue;
    entry.block = std::move(block);
    if (status_ == AssetWriterStatus::writing || status_ == AssetWriterStatus::failed) {
        dispatchLocked(track);
    }
}

bool FfmpegAssetWriterMuxer::isReady(std::size_t track) const {
    std::lock_guard lock(mutex_);
    return track < tracks_.size() && readyLocked(tracks_[track]);
}

bool FfmpegAssetWriterMuxer::readyLocked(const Track& track) const {
    if (track.finished || stopping_) {
        return false;
    }
    if (status_ == AssetWriterStatus::failed) {
        return true;
    }
    return status_ == AssetWriterStatus::writing && track.packets.size() < kMaxQueuedPackets;
}

bool FfmpegAssetWriterMuxer::push(std::size_t track, std::vector<AVPacketPtr> packets) {
    std::function<void()> completion;
    {
        std::lock_guard lock(mutex_);
        if (status_ != AssetWriterStatus::writing || stopping_ || track >= tracks_.size()) {
            if (!error_ && status_ != AssetWriterStatus::completed) {
                error_ =
                    Error::backreel(0, QStringLiteral("Cannot append a sample: the writer is not writing."));
            }
            return false;
        }
        Track& entry = tracks_[track];
        if (entry.finished) {
            completion = failLocked(
                Error::backreel(0, QStringLiteral("Cannot append a sample to an input marked as finished.")));
        } else {
            for (AVPacketPtr& packet : packets) {
                entry.packets.push_back(std::move(packet));
            }
        }
    }
    wake_.notify_all();
    if (completion) {
        completion();
        return false;
    }
    return status() == AssetWriterStatus::writing;
}

bool FfmpegAssetWriterMuxer::canAppend(std::size_t track) {
    return push(track, std::vector<AVPacketPtr>());
}

void FfmpegAssetWriterMuxer::markFinished(std::size_t track) {
    {
        std::lock_guard lock(mutex_);
        if (track >= tracks_.size()) {
            return;
        }
        Track& entry = tracks_[track];
        entry.finished = true;
        entry.block = nullptr;
        entry.queue = nullptr;
    }
    wake_.notify_all();
}

void FfmpegAssetWriterMuxer::fail(Error error) {
    std::function<void()> completion;
    {
        std::lock_guard lock(mutex_);
        completion = failLocked(std::move(error));
    }
    wake_.notify_all();
    if (completion) {
        completion();
    }
}

std::function<void()> FfmpegAssetWriterMuxer::failLocked(Error error) {
    if (status_ == AssetWriterStatus::failed || status_ == AssetWriterStatus::completed ||
        status_ == AssetWriterStatus::cancelled) {
        return nullptr;
    }
    status_ = AssetWriterStatus::failed;
    error_ = std::move(error);
    for (std::size_t index = 0; index < tracks_.size(); ++index) {
        tracks_[index].packets.clear();
        dispatchLocked(index);
    }
    return std::exchange(completion_, nullptr);
}

AssetWriterStatus FfmpegAssetWriterMuxer::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::optional<Error> FfmpegAssetWriterMuxer::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void FfmpegAssetWriterMuxer::dispatchLocked(std::size_t index) {
    Track& track = tracks_[index];
    if (!track.block || track.queue == nullptr || !readyLocked(track)) {
        return;
    }
    if (track.feeding) {
        track.wakeMissed = true;
        return;
    }
    track.feeding = true;
    track.queue->async([self = shared_from_this(), index, block = track.block] {
        block();
        self->feederReturned(index);
    });
}

void FfmpegAssetWriterMuxer::feederReturned(std::size_t index) {
    std::lock_guard lock(mutex_);
    Track& track = tracks_[index];
    track.feeding = false;
    if (std::exchange(track.wakeMissed, false)) {
        dispatchLocked(index);
    }
}

std::int64_t FfmpegAssetWriterMuxer::sessionOffsetLocked(const Track& track) const {
    if (track.clock == PacketClock::session || !sessionStart_) {
        return 0;
    }
    return av_rescale_rnd(sessionStart_->value(), track.timeBase.den,
                          static_cast<std::int64_t>(sessionStart_->timeScale()) * track.timeBase.num,
                          AV_ROUND_NEAR_INF);
}

std::optional<std::size_t> FfmpegAssetWriterMuxer::nextTrackLocked() const {
    if (!sessionStart_) {
        return std::nullopt;
    }
    std::optional<std::size_t> next;
    std::int64_t nextTime = 0;
    for (std::size_t index = 0; index < tracks_.size(); ++index) {
        const Track& track = tracks_[index];
        if (track.packets.empty()) {
            if (!track.finished) {
                return std::nullopt; // its next packet may be the earliest
            }
            continue;
        }
        const std::int64_t time = track.packets.front()->dts - sessionOffsetLocked(track);
        if (!next || av_compare_ts(time, track.timeBase, nextTime, tracks_[*next].timeBase) < 0) {
            next = index;
            nextTime = time;
        }
    }
    return next;
}

bool FfmpegAssetWriterMuxer::drainedLocked() const {
    for (const Track& track : tracks_) {
        if (!track.finished || !track.packets.empty()) {
            return false;
        }
    }
    return true;
}

void FfmpegAssetWriterMuxer::run() {
    for (;;) {
        AVPacketPtr packet;
        AVRational timeBase{1, 1};
        AVStream* stream = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] {
                return stopping_ || status_ != AssetWriterStatus::writing || nextTrackLocked() ||
                       (finishRequested_ && drainedLocked());
            });
            if (stopping_ || status_ != AssetWriterStatus::writing) {
                break;
            }
            const std::optional<std::size_t> next = nextTrackLocked();
            if (!next) {
                lock.unlock();
                writeTrailer();
                return;
            }
            Track& track = tracks_[*next];
            const bool wasReady = readyLocked(track);
            packet = std::move(track.packets.front());
            track.packets.pop_front();
            const std::int64_t offset = sessionOffsetLocked(track);
            packet->pts = packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : packet->pts - offset;
            packet->dts = packet->dts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : packet->dts - offset;
            timeBase = track.timeBase;
            stream = track.stream;
            if (!wasReady && readyLocked(track)) {
                dispatchLocked(*next);
            }
        }
        av_packet_rescale_ts(packet.get(), timeBase, stream->time_base);
        packet->stream_index = stream->index;
        // The muxer takes the packet's reference and leaves the packet blank.
        if (const int result = av_interleaved_write_frame(context_.get(), packet.get()); result < 0) {
            fail(ffmpegError(result));
        }
    }
    // Failed or abandoned: the file stays as it is.
    avio_closep(&context_->pb);
}

void FfmpegAssetWriterMuxer::writeTrailer() {
    int result = av_write_trailer(context_.get());
    const int closed = avio_closep(&context_->pb);
    if (result >= 0 && closed < 0) {
        result = closed;
    }
    std::function<void()> completion;
    {
        std::lock_guard lock(mutex_);
        if (result < 0) {
            completion = failLocked(ffmpegError(result));
        } else {
            status_ = AssetWriterStatus::completed;
            completion = std::exchange(completion_, nullptr);
        }
    }
    wake_.notify_all();
    if (completion) {
        completion();
    }
}

} // namespace backreel
