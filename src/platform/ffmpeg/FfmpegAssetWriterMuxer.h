#pragma once

#include "platform/AssetWriter.h"
#include "platform/Error.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/media/MediaTime.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace backreel {

class SerialQueue;

// Which clock a track's packet time stamps count on.
enum class PacketClock {
    source,  // the samples' own clock; the muxer subtracts the session start
    session, // already counted from the session start
};

// The shared heart of an FFmpeg asset writer: the MP4 muxer's context, one packet queue per track,
// the writer's status and error, and the one muxing thread that writes the queued packets
// interleaved by time.
//
// Back-pressure: each track takes up to kMaxQueuedPackets packets; while that many wait the track
// is not ready, and its feeder is asked again (its block dispatched on its queue) once the muxing
// thread has taken one. The muxer writes the packet with the earliest time among the tracks, but
// only while every unfinished track has a packet queued, so the file is interleaved. A full track
// waits for the muxer; the muxer waits only for tracks with nothing queued, which are ready and so
// are being fed: no deadlock.
//
// Thread contract: addStream(), addTrack() and start() on the writer's owner, before writing;
// the track calls from each track's feeding queue; status() and error() from any thread. Every
// call takes the muxer's lock, and no call runs foreign code (blocks, completions) under it.
class FfmpegAssetWriterMuxer : public std::enable_shared_from_this<FfmpegAssetWriterMuxer> {
public:
    // 64 packets: about 2 s of 30 fps video or 1.4 s of 48 kHz AAC, a few megabytes at most.
    static constexpr std::size_t kMaxQueuedPackets = 64;

    explicit FfmpegAssetWriterMuxer(AVOutputContextPtr context);
    ~FfmpegAssetWriterMuxer();

    FfmpegAssetWriterMuxer(const FfmpegAssetWriterMuxer&) = delete;
    FfmpegAssetWriterMuxer& operator=(const FfmpegAssetWriterMuxer&) = delete;

    // Owner's thread, before start(): a new stream in the file, or null when FFmpeg has no memory.
    AVStream* addStream();
    // Owner's thread, before start(): the track that feeds stream; returns its number.
    std::size_t addTrack(AVStream* stream, AVRational packetTimeBase, PacketClock clock);

    // Writes the header (moov at the front once finished) and starts the muxing thread; the
    // status becomes writing, or failed with FFmpeg's error. Dispatches every feeder registered
    // so far. Owner's thread; once.
    bool start();
    // Samples before this time are not shown. Owner's thread; the first call counts.
    void startSession(MediaTime sourceTime);
    std::optional<MediaTime> sessionStart() const;
    // Once every track is finished and drained: writes the trailer, closes the file and calls
    // completion on the muxing thread. A writer that has already failed calls it at once, here.
    void finish(std::function<void()> completion);
    // The writer goes away: stops the muxing thread and closes the file as it is, or, when
    // finishing was asked for, waits until the file is finished.
    void abandon();

    // The track's feeder; dispatched at start() and whenever the track becomes ready again. Any
    // thread.
    void setFeeder(std::size_t track, SerialQueue& queue, std::function<void()> block);
    // True while the track takes packets; also true once the writer has failed, so that its feeder
    // runs, finds the writer failed and stops.
    bool isReady(std::size_t track) const;
    // Queues the track's packets. False when the writer is not writing or the track is finished;
    // the writer's error then says why.
    bool push(std::size_t track, std::vector<AVPacketPtr> packets);
    // Whether push() would take packets for the track now; sets the error as push() would.
    bool canAppend(std::size_t track);
    // No more packets for the track; its feeder is never dispatched again.
    void markFinished(std::size_t track);
    // The writer fails with error, unless it failed or completed already. Drops every queued
    // packet and dispatches the feeders so that they see it.
    void fail(Error error);

    AssetWriterStatus status() const;
    std::optional<Error> error() const;

private:
    struct Track {
        AVStream* stream = nullptr;
        AVRational timeBase{1, 1};
        PacketClock clock = PacketClock::session;
        std::deque<AVPacketPtr> packets;
        bool finished = false;
        SerialQueue* queue = nullptr;
        std::function<void()> block;
        // A dispatched block has not returned yet.
        bool feeding = false;
        // The track became ready while its block ran; it is dispatched again when the block returns.
        bool wakeMissed = false;
    };

    void run();
    bool readyLocked(const Track& track) const;
    void dispatchLocked(std::size_t index);
    void feederReturned(std::size_t index);
    // The track whose packet goes next, or none while a packet must still come.
    std::optional<std::size_t> nextTrackLocked() const;
    bool drainedLocked() const;
    std::int64_t sessionOffsetLocked(const Track& track) const;
    // Sets the failed status; returns the completion to call, if finishing was waiting for it.
    std::function<void()> failLocked(Error error);
    void writeTrailer();
    void stopThread();

    // Touched by the owner before start(), then only by the muxing thread, and after the thread
    // has stopped by whoever stopped it.
    AVOutputContextPtr context_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Track> tracks_; // a deque: Track moves are not noexcept, so a vector would copy
    AssetWriterStatus status_ = AssetWriterStatus::unknown;
    std::optional<Error> error_;
    std::optional<MediaTime> sessionStart_;
    bool finishRequested_ = false;
    bool stopping_ = false;
    std::function<void()> completion_;
    std::thread thread_;
};

} // namespace backreel
