#pragma once

#include "core/Error.h"
#include "core/media/AudioChunk.h"
#include "platform/ffmpeg/AudioTrackClock.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/MovieFile.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace backreel {

// The most channels an AAC track of ours has.
inline constexpr int kMaxAacChannels = 8;

// Encodes interleaved float PCM to AAC with FFmpeg's native encoder. Each piece is placed on an
// AudioTrackClock (what lies before the stream's start is cut off, gaps are filled with silence,
// overlaps dropped), converted by libswresample to the encoder's planar float at the track's rate
// and channel layout, and fed through a FIFO in whole encoder frames of 1024 samples. A piece in
// another format than the one before (the sound server changed its rate) re-opens the converter;
// the running count carries over.
//
// One thread at a time.
class FfmpegAudioEncoder {
public:
    static Expected<std::unique_ptr<FfmpegAudioEncoder>> open(const AudioStreamFormat& settings);
    ~FfmpegAudioEncoder();

    FfmpegAudioEncoder(const FfmpegAudioEncoder&) = delete;
    FfmpegAudioEncoder& operator=(const FfmpegAudioEncoder&) = delete;

    // The stream's codec parameters, with the encoder's AudioSpecificConfig as extradata.
    int copyParameters(AVCodecParameters* parameters) const;
    // The time base of the packets: one tick per output sample.
    AVRational timeBase() const;

    // Encodes sound whose time counts on the same clock as start (where the stream begins); the
    // packets the encoder finishes are appended to out, stamped in samples from start.
    MaybeError encode(const AudioView& sound, MediaTime start, std::vector<AVPacketPtr>& out);
    // Encodes what is left, the last frame shorter than the rest, and drains the encoder.
    MaybeError flush(std::vector<AVPacketPtr>& out);
    // The loudest magnitude among the samples of the packet stamped pts (0 for the priming packet
    // before the first); asked in the packets' order.
    float takePeak(std::int64_t pts);

private:
    FfmpegAudioEncoder() = default;

    MaybeError configureSource(int channels, int rate);
    // Converts interleaved frames into the FIFO; null input drains the converter's delay.
    MaybeError convert(const float* samples, int frames);
    MaybeError convertSilence(std::int64_t frames, std::vector<AVPacketPtr>& out);
    MaybeError drainResampler();
    // Encodes whole frames from the FIFO; with final, the shorter rest too.
    MaybeError encodeFifo(bool final, std::vector<AVPacketPtr>& out);
    MaybeError sendFrame(const AVFrame* frame, std::vector<AVPacketPtr>& out);

    AVCodecContextPtr context_;
    SwrContextPtr resampler_;
    AVAudioFifoPtr fifo_;
    AVFramePtr frame_;
    int sourceChannels_ = 0;
    int sourceRate_ = 0;
    std::optional<AudioTrackClock> clock_;
    // Time stamp (output samples from the start) of the next sample into the encoder.
    std::int64_t nextPts_ = 0;
    bool flushed_ = false;
    // Scratch planes for the converter's output, one per output channel.
    std::vector<std::vector<float>> converted_;
    std::vector<float> silence_;
    // (PTS, loudest magnitude) of the frames sent but not yet asked for, oldest first.
    std::deque<std::pair<std::int64_t, float>> framePeaks_;
};

} // namespace backreel
