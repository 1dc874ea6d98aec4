#pragma once

#include "platform/AssetWriter.h"
#include "platform/Error.h"
#include "platform/ffmpeg/AudioTrackClock.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/media/FormatDescription.h"
#include "platform/media/MediaSample.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace backreel {

// The sample format FFmpeg calls the source's PCM layout (float or signed integer, 16/32/64 bits,
// interleaved or planar), or none for formats the writer does not take.
std::optional<AVSampleFormat> sampleFormatOf(const AudioStreamBasicDescription& description);

// Encodes PCM buffers to AAC with FFmpeg's native encoder. The buffers are converted (libswresample)
// to the encoder's planar float at the output rate and channel layout, placed on an
// AudioTrackClock, and fed through a FIFO in whole encoder frames of 1024 samples.
//
// One thread at a time (the audio input serialises its calls).
class FfmpegAudioEncoder {
public:
    // Opens the encoder for the settings, ready for buffers described by source.
    static Expected<std::unique_ptr<FfmpegAudioEncoder>> open(const AudioOutputSettings& settings,
                                                              const AudioStreamBasicDescription& source);
    ~FfmpegAudioEncoder();

    FfmpegAudioEncoder(const FfmpegAudioEncoder&) = delete;
    FfmpegAudioEncoder& operator=(const FfmpegAudioEncoder&) = delete;

    // The stream's codec parameters, with the encoder's AudioSpecificConfig as extradata.
    int copyParameters(AVCodecParameters* parameters) const;
    // The time base of the packets: one tick per output sample.
    AVRational timeBase() const;

    // Encodes one PCM sample whose time stamps count on the same clock as sessionStart; the packets
    // the encoder finishes are appended to out, stamped from the session start.
    std::optional<Error> encode(const MediaSample& sample, MediaTime sessionStart,
                                std::vector<AVPacketPtr>& out);
    // Encodes what is left, the last frame shorter than the rest, and drains the encoder.
    std::optional<Error> flush(std::vector<AVPacketPtr>& out);

private:
    struct Source {
        AudioStreamBasicDescription description;
        AVSampleFormat format = AV_SAMPLE_FMT_NONE;
        int channels = 0;
        int rate = 0;
        // Bytes of one sample of one channel.
        int bytesPerSample = 0;
        bool planar = false;
    };

    // The PCM of one sample: a plane per channel (planar), or one interleaved plane.
    struct SourceAudio {
        std::vector<const std::uint8_t*> planes;
        std::size_t frames = 0;
        BlockBufferPtr block; // keeps the bytes the planes point into
    };

    FfmpegAudioEncoder() = default;

    std::optional<Error> sourceAudio(const MediaSample& sample, SourceAudio& audio) const;

    std::optional<Error> configureSource(const AudioStreamBasicDescription& description);
    // Converts frames into the FIFO; planes as libswresample takes them (one for interleaved).
    std::optional<Error> convert(const std::uint8_t* const* planes, int frames);
    std::optional<Error> convertSilence(std::int64_t frames);
    std::optional<Error> drainResampler();
    // Encodes whole frames from the FIFO; with final, the shorter rest too.
    std::optional<Error> encodeFifo(bool final, std::vector<AVPacketPtr>& out);
    std::optional<Error> sendFrame(const AVFrame* frame, std::vector<AVPacketPtr>& out);

    AVCodecContextPtr context_;
    SwrContextPtr resampler_;
    AVAudioFifoPtr fifo_;
    AVFramePtr frame_;
    Source source_;
    std::optional<AudioTrackClock> clock_;
    // Time stamp (output samples from the session start) of the next sample into the encoder.
    std::int64_t nextPts_ = 0;
    bool flushed_ = false;
    // Scratch planes for the converter's output, one per output channel.
    std::vector<std::vector<float>> converted_;
    std::vector<std::uint8_t> silence_;
};

} // namespace backreel
