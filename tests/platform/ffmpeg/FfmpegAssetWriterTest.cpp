#include "export/MovieWriter.h"
#include "FfmpegTestMedia.h"
#include "FfmpegTestMovie.h"
#include "FfmpegWriterTestSupport.h"
#include "platform/ffmpeg/FfmpegAssetWriterService.h"
#include "platform/ffmpeg/FfmpegCompressionService.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QCoroTask>
#include <QJsonArray>
#include <QTemporaryDir>

using namespace backreel;
using namespace backreel::test;

namespace {

// Video packets as the file holds them must carry exactly the NAL units of the samples.
void expectSameVideoUnits(const std::vector<MediaSamplePtr>& samples, const StreamContents& stream) {
    ASSERT_EQ(stream.packets.size(), samples.size());
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const BlockBuffer& data = *samples[index]->dataBuffer();
        std::vector<std::byte> bytes(data.dataLength());
        ASSERT_EQ(data.copyDataBytes(0, bytes), 0);
        EXPECT_EQ(lengthPrefixedUnits(stream.packets[index].data), annexBUnits(bytes)) << "frame " << index;
    }
}

double jsonNumber(const QJsonValue& value) {
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

QJsonObject streamOfType(const QJsonObject& probe, const QString& type) {
    for (const QJsonValue& stream : probe.value(QStringLiteral("streams")).toArray()) {
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == type) {
            return stream.toObject();
        }
    }
    return {};
}

// Upward swings through zero between from and to seconds, per second: the tone's frequency. The
// swing must go from below -0.2 to above +0.2, so low noise does not count.
double frequencyBetween(const DecodedAudio& audio, double from, double to) {
    const auto first = static_cast<std::size_t>((from - audio.startSeconds) * audio.sampleRate);
    const auto last = static_cast<std::size_t>((to - audio.startSeconds) * audio.sampleRate);
    int crossings = 0;
    bool low = false;
    for (std::size_t index = first; index < last && index < audio.samples.size(); ++index) {
        if (audio.samples[index] < -0.2f) {
            low = true;
        } else if (low && audio.samples[index] > 0.2f) {
            low = false;
            ++crossings;
        }
    }
    return crossings / (to - from);
}

} // namespace

// MARK: movies

class FfmpegAssetWriterLayouts : public ::testing::TestWithParam<PcmLayout> {};

TEST_P(FfmpegAssetWriterLayouts, WritesTheCompressedFramesUnchangedAndTheToneInSync) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("movie.mp4"));
    constexpr int kFrames = 45;
    const EncodedVideo video = encodeVideo("libx264", codec::h264, 160, 96, kFrames, kFirstVideoPts, 15);
    ASSERT_EQ(video.samples.size(), static_cast<std::size_t>(kFrames));
    PcmOptions pcm;
    pcm.layout = GetParam();
    // Buffers of 1024 frames from 50 ms early: one of them straddles the session start by 7.3 ms,
    // which shows whether it is cut there or moved there.
    pcm.framesPerBuffer = 1024;
    // Audio starts 50 ms before the first frame; the tone starts half a second into the movie.
    const std::vector<MediaSamplePtr> audio =
        pcmSamples(kFirstVideoPts - kFiftyMilliseconds, 1.55, pcm, kFirstVideoPts, toneFrom(0.5, 0.5, 0.05));
    Inputs inputs = makeWriter(path, video.format, audio.front()->formatDescription());
    writeAll(inputs, video.samples, audio);

    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(path);
    ASSERT_TRUE(info) << info.error().description.toStdString();
    EXPECT_EQ(info.value().videoTrackCount, 1u);
    EXPECT_EQ(info.value().audioTrackCount, 1u);
    EXPECT_EQ(info.value().audioFormats, std::vector<FourCC>{codec::aac});
    EXPECT_NEAR(info.value().durationSeconds, 1.5, 0.05);

    const QJsonObject probe = ffprobe(path);
    const QJsonObject videoStream = streamOfType(probe, QStringLiteral("video"));
    const QJsonObject audioStream = streamOfType(probe, QStringLiteral("audio"));
    EXPECT_EQ(probe.value(QStringLiteral("streams")).toArray().size(), 2);
    EXPECT_EQ(videoStream.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(videoStream.value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("avc1"));
    EXPECT_EQ(videoStream.value(QStringLiteral("width")).toInt(), 160);
    EXPECT_EQ(videoStream.value(QStringLiteral("height")).toInt(), 96);
    EXPECT_DOUBLE_EQ(jsonNumber(videoStream.value(QStringLiteral("duration"))), kFrames / 30.0);
    EXPECT_EQ(audioStream.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(jsonNumber(audioStream.value(QStringLiteral("sample_rate"))), 48000);
    EXPECT_EQ(audioStream.value(QStringLiteral("channels")).toInt(), 2);
    EXPECT_NEAR(jsonNumber(audioStream.value(QStringLiteral("bit_rate"))), 192000, 192000 * 0.25);
    EXPECT_EQ(decodeErrors(path), QString());

    const auto streams = readMovie(path.toStdString());
    ASSERT_TRUE(streams);
    const StreamContents* videoTrack = streamOfType(*streams, AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(videoTrack, nullptr);
    expectSameVideoUnits(video.samples, *videoTrack);
    ASSERT_FALSE(videoTrack->packets.empty());
    EXPECT_TRUE(videoTrack->packets.front().key) << "the movie starts on a key frame";
    for (std::size_t index = 0; index < videoTrack->packets.size(); ++index) {
        const PacketInfo& packet = videoTrack->packets[index];
        EXPECT_NEAR(videoTrack->seconds(packet.pts), static_cast<double>(index) / 30.0, 1e-9)
            << "frame " << index;
        EXPECT_EQ(packet.key, index % 15 == 0) << "frame " << index;
    }

    const std::optional<DecodedAudio> decoded = decodeAudio(path.toStdString());
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(decoded->startSeconds, 0.0, 0.001) << "trimmed at the session start, not shifted";
    EXPECT_NEAR(decoded->firstAbove(0.25f), 0.5, 0.002) << "the tone starts where its time stamp says";
    EXPECT_NEAR(frequencyBetween(*decoded, 0.7, 1.3), 440.0, 4.0);
    EXPECT_NEAR(static_cast<double>(decoded->samples.size()) / 48000.0, 1.5, 0.03);
}

INSTANTIATE_TEST_SUITE_P(FfmpegAssetWriter, FfmpegAssetWriterLayouts,
                         ::testing::Values(PcmLayout::interleaved, PcmLayout::nonInterleaved,
                                           PcmLayout::bufferList),
                         [](const ::testing::TestParamInfo<PcmLayout>& layout) {
                             switch (layout.param) {
                             case PcmLayout::interleaved:
                                 return std::string("Interleaved");
                             case PcmLayout::nonInterleaved:
                                 return std::string("NonInterleaved");
                             case PcmLayout::bufferList:
                                 return std::string("BufferList");
                             }
                             return std::string();
                         });

TEST(FfmpegAssetWriter, AudioStaysOnItsTimeStampsThroughGapsOverlapsAndALateStart) {
    const EncodedVideo video = encodeVideo("libx264", codec::h264, 160, 96, 30, kFirstVideoPts, 15);
    const PcmOptions pcm;
    const std::vector<MediaSamplePtr> all =
        pcmSamples(kFirstVideoPts, 1.0, pcm, kFirstVideoPts, toneFrom(0.6));
    const auto join = [&all](std::initializer_list<std::pair<int, int>> ranges) {
        std::vector<MediaSamplePtr> samples;
        for (const auto& [from, to] : ranges) {
            samples.insert(samples.end(), all.begin() + from, all.begin() + to);
        }
        return samples;
    };
    const struct {
        const char* name;
        std::vector<MediaSamplePtr> audio;
        double start;    // where the audio begins in the movie
        double lateness; // how late the tone may be
        double length;   // seconds of audio in the movie
    } cases[] = {
        // 20 buffers (0.2 s) lost: filled with silence.
        {"gap", join({{0, 20}, {40, 100}}), 0.0, 0.0, 1.0},
        // 10 buffers (0.1 s) delivered twice: the repeats more than 40 ms behind go, the rest
        // stays within the clock's tolerance.
        {"overlap", join({{0, 30}, {20, 100}}), 0.0, 0.041, 1.041},
        // Audio that begins after the picture begins there too.
        {"late start", join({{30, 100}}), 0.3, 0.0, 0.7},
    };
    for (const auto& testCase : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("movie.mp4"));
        Inputs inputs = makeWriter(path, video.format, testCase.audio.front()->formatDescription());
        writeAll(inputs, video.samples, testCase.audio);
        const std::optional<DecodedAudio> decoded = decodeAudio(path.toStdString());
        ASSERT_TRUE(decoded) << testCase.name;
        // A track that starts late keeps the encoder's first, silent frame in front of its audio:
        // MP4 edit lists only cut it away at the start of the movie.
        const double priming = testCase.start > 0 ? 1024.0 / 48000 : 0.0;
        EXPECT_NEAR(decoded->startSeconds, testCase.start - priming, 0.001) << testCase.name;
        EXPECT_GE(decoded->firstAbove(0.01f), testCase.start - 0.001)
            << testCase.name << ": silent before its start";
        EXPECT_GE(decoded->firstAbove(0.25f), 0.6 - 0.004) << testCase.name;
        EXPECT_LE(decoded->firstAbove(0.25f), 0.6 + testCase.lateness + 0.004) << testCase.name;
        EXPECT_LE(static_cast<double>(decoded->samples.size()) / 48000.0, testCase.length + priming + 0.025)
            << testCase.name;
        EXPECT_GE(static_cast<double>(decoded->samples.size()) / 48000.0,
                  testCase.length - 0.025 - testCase.lateness)
            << testCase.name;
        EXPECT_EQ(decodeErrors(path), QString()) << testCase.name;
    }
}

TEST(FfmpegAssetWriter, MonoSixteenBitAudioIsResampledToMonoAacAt96kbits) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mono.mp4"));
    const EncodedVideo video = encodeVideo("libx264", codec::h264, 160, 96, 30, kFirstVideoPts, 15);
    PcmOptions pcm;
    pcm.sampleRate = 44100;
    pcm.channels = 1;
    pcm.format = PcmFormat::int16;
    pcm.framesPerBuffer = 441;
    const std::vector<MediaSamplePtr> audio =
        pcmSamples(kFirstVideoPts - kFiftyMilliseconds, 1.05, pcm, kFirstVideoPts, toneFrom(0.3));
    Inputs inputs =
        makeWriter(path, video.format, audio.front()->formatDescription(), aacSettings(1, 48000, 96000));
    writeAll(inputs, video.samples, audio);

    const QJsonObject audioStream = streamOfType(ffprobe(path), QStringLiteral("audio"));
    EXPECT_EQ(audioStream.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(audioStream.value(QStringLiteral("channels")).toInt(), 1);
    EXPECT_EQ(audioStream.value(QStringLiteral("channel_layout")).toString(), QStringLiteral("mono"));
    EXPECT_EQ(jsonNumber(audioStream.value(QStringLiteral("sample_rate"))), 48000);
    EXPECT_NEAR(jsonNumber(audioStream.value(QStringLiteral("bit_rate"))), 96000, 96000 * 0.25);
    EXPECT_EQ(decodeErrors(path), QString());
    const std::optional<DecodedAudio> decoded = decodeAudio(path.toStdString());
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(decoded->firstAbove(0.25f), 0.3, 0.004);
    EXPECT_NEAR(frequencyBetween(*decoded, 0.4, 0.9), 440.0, 4.0) << "resampled, not pitched";
}

TEST(FfmpegAssetWriter, WritesVideoOnlyMoviesAndHevcWithTheHvc1Tag) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("video-only.mp4"));
    const EncodedVideo h264 = encodeVideo("libx264", codec::h264, 160, 96, 20, kFirstVideoPts, 15);
    Inputs inputs = makeWriter(path, h264.format);
    writeAll(inputs, h264.samples, {});
    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info.value().videoTrackCount, 1u);
    EXPECT_EQ(info.value().audioTrackCount, 0u);
    EXPECT_TRUE(info.value().audioFormats.empty());
    EXPECT_NEAR(info.value().durationSeconds, 20 / 30.0, 0.001);
    EXPECT_EQ(decodeErrors(path), QString());

    const EncodedVideo hevc = encodeVideo("libx265", codec::hevc, 160, 96, 20, kFirstVideoPts, 15);
    if (hevc.samples.empty()) {
        GTEST_SKIP() << "FFmpeg has no libx265 here";
    }
    const QString hevcPath = dir.filePath(QStringLiteral("hevc.mp4"));
    Inputs hevcInputs = makeWriter(hevcPath, hevc.format);
    writeAll(hevcInputs, hevc.samples, {});
    const QJsonObject videoStream = streamOfType(ffprobe(hevcPath), QStringLiteral("video"));
    EXPECT_EQ(videoStream.value(QStringLiteral("codec_name")).toString(), QStringLiteral("hevc"));
    EXPECT_EQ(videoStream.value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("hvc1"));
    EXPECT_EQ(decodeErrors(hevcPath), QString());
    const auto streams = readMovie(hevcPath.toStdString());
    ASSERT_TRUE(streams);
    expectSameVideoUnits(hevc.samples, streams->front());
}

TEST(FfmpegAssetWriter, AMovieOfAnOddSizedDisplayKeepsThatSize) {
    // The recorder's encoder output for a 1919×1079 display, passed through into a file.
    struct Collected {
        std::mutex mutex;
        std::vector<MediaSamplePtr> samples;
    } collected;
    auto collect = [](void* refcon, std::int32_t, const MediaSamplePtr& sample) {
        auto* into = static_cast<Collected*>(refcon);
        std::lock_guard lock(into->mutex);
        if (sample) {
            into->samples.push_back(sample);
        }
    };
    FfmpegCompressionService service;
    std::shared_ptr<CompressionSession> session;
    ASSERT_EQ(service.createSession(1919, 1079, codec::h264, nullptr, collect, &collected, &session), 0);
    ASSERT_EQ(session->prepareToEncodeFrames(), 0);
    const ImageBufferPtr picture = ImageBuffer::allocate(1919, 1079);
    std::memset(picture->mutableBaseAddress(), 0x80, picture->bytesPerRow() * 1079);
    for (int index = 0; index < 3; ++index) {
        const MediaTime pts = kFirstVideoPts + MediaTime(index * kFrameTicks, kTimeScale);
        ASSERT_EQ(session->encodeFrame(picture, pts, MediaTime(kFrameTicks, kTimeScale)), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(30)); // within the encoder's queue
    }
    ASSERT_EQ(session->completeFrames(MediaTime::invalid()), 0);
    session->invalidate();
    ASSERT_EQ(collected.samples.size(), 3u);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.mp4"));
    Inputs inputs = makeWriter(path, collected.samples.front()->formatDescription());
    writeAll(inputs, collected.samples, {});
    const QJsonObject videoStream = streamOfType(ffprobe(path), QStringLiteral("video"));
    EXPECT_EQ(videoStream.value(QStringLiteral("width")).toInt(), 1919);
    EXPECT_EQ(videoStream.value(QStringLiteral("height")).toInt(), 1079);
    EXPECT_EQ(decodeErrors(path), QString());
}

TEST(FfmpegAssetWriter, TheSaveFlowWritesAndValidatesAMovieThroughThisBackend) {
    LogCapture log;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.mp4"));
    const EncodedVideo video = encodeVideo("libx264", codec::h264, 160, 96, 60, kFirstVideoPts, 15);
    PcmOptions pcm;
    pcm.layout = PcmLayout::nonInterleaved;
    std::vector<MediaSamplePtr> audio =
        pcmSamples(kFirstVideoPts - kFiftyMilliseconds, 2.0, pcm, kFirstVideoPts, toneFrom(0.0));
    MovieWriterServices services{std::make_shared<FfmpegAssetWriterService>(),
                                 std::make_shared<FfmpegMovieProbe>()};
    QCoro::Task<MaybeError> writing =
        writeMovie(video.samples, std::move(audio), path, services, Logger::recording());
    const MaybeError error = QCoro::waitFor(std::move(writing));
    ASSERT_FALSE(error) << error->description.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("[Write] finishWriting returned; status=2 (2=completed, 3=failed)")),
              1);
    EXPECT_EQ(
        log.count(QStringLiteral("[Validate] Output: 1 video track(s), 1 audio track(s), duration=2.00s")), 1)
        << "the movie is as long as its video";
    EXPECT_EQ(log.count(QStringLiteral("[Validate] Audio track format: 'aac '")), 1);
    EXPECT_EQ(decodeErrors(path), QString());
}
