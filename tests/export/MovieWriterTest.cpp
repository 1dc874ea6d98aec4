#include "export/MovieWriter.h"
#include "support/synthetic/SyntheticAssetWriter.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/LogCapture.h"
#include "support/Samples.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

using namespace backreel;
using test::LogCapture;

namespace {

std::vector<MediaSamplePtr> videoClip(std::size_t count, double start = 5123.4) {
    std::vector<MediaSamplePtr> samples;
    for (std::size_t i = 0; i < count; ++i) {
        samples.push_back(i % 15 == 0 ? test::keyFrame(start + static_cast<double>(i) / 30.0)
                                      : test::deltaFrame(start + static_cast<double>(i) / 30.0));
    }
    return samples;
}

std::vector<MediaSamplePtr> audioClip(std::size_t count, double start = 5123.35) {
    std::vector<MediaSamplePtr> samples;
    for (std::size_t i = 0; i < count; ++i) {
        samples.push_back(SyntheticCaptureStream::makeAudioSample(
            MediaTime::makeWithSeconds(start + static_cast<double>(i) * 0.01, kTimeScale), 480, false, 0));
    }
    return samples;
}

MediaSamplePtr audioWith(AudioStreamBasicDescription asbd, std::vector<std::byte> bytes) {
    MediaSample::Parts parts;
    parts.formatDescription = FormatDescription::audio(asbd);
    parts.dataBuffer = BlockBuffer::fromBytes(std::move(bytes));
    parts.numSamples = 480;
    parts.timing = {SampleTimingInfo{MediaTime(1, 48000), MediaTime::makeWithSeconds(5123.4, kTimeScale),
                                     MediaTime::invalid()}};
    return MediaSample::make(std::move(parts));
}

struct Writing {
    QTemporaryDir dir;
    std::shared_ptr<SyntheticAssetWriterService> service = std::make_shared<SyntheticAssetWriterService>();
    QString path = dir.filePath(QStringLiteral("clip.mp4"));

    MaybeError write(std::vector<MediaSamplePtr> video, std::vector<MediaSamplePtr> audio) {
        return QCoro::waitFor(writeMovie(std::move(video), std::move(audio), path,
                                         MovieWriterServices{service, nullptr}, Logger::recording()));
    }
};

} // namespace

TEST(MovieWriter, WritesBothTracksConcurrentlyWithTheirOwnTimes) {
    LogCapture log;
    Writing w;
    const auto video = videoClip(250);
    const auto audio = audioClip(900);
    ASSERT_FALSE(w.write(video, audio));

    const auto movie = w.service->lastMovie();
    ASSERT_EQ(movie->video.size(), 250u);
    ASSERT_EQ(movie->audio.size(), 900u);
    EXPECT_EQ(movie->video.front().get(), video.front().get()) << "samples are handed over, not copied";
    EXPECT_EQ(movie->audio.back().get(), audio.back().get());
    EXPECT_EQ(movie->sessionStart, video.front()->presentationTime()) << "the session starts at the first PTS";
    EXPECT_TRUE(movie->videoFinished && movie->audioFinished);
    ASSERT_TRUE(movie->audioSettings);
    EXPECT_EQ(movie->audioSettings->numberOfChannels, 2);
    EXPECT_EQ(movie->audioSettings->encoderBitRate, 192000);

    EXPECT_EQ(log.count(QStringLiteral("[Write] Video: codec=H264, 64×64, 250 frames; audio: 900 samples")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] Audio input: 2ch @ 48000Hz → AAC 192kbps")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] Audio PTS: 5123.350s–5132.340s span=8.990s numSamplesPerBuf=480")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] Audio data: non-zero ✓")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] startPTS=5123.400s")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] Writer status after startWriting+startSession: 1 (1=writing, 3=failed)")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] Appending 250 video frames + 900 audio samples concurrently…")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Append] First sample appended OK")), 2);
    EXPECT_EQ(log.levelOf(QStringLiteral("[Append] 100/250 appended")), QtDebugMsg);
    EXPECT_EQ(log.count(QStringLiteral("[Append] 200/250 appended")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Append] Done: 250/250 appended")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Append] Done: 900/900 appended")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] finishWriting returned; status=2 (2=completed, 3=failed)")), 1);
    EXPECT_LT(log.indexOf(QStringLiteral("[Write] All tracks appended")),
              log.indexOf(QStringLiteral("[Write] Calling finishWriting…")));
}

TEST(MovieWriter, VideoOnlyWhenThereIsNoUsableAudio) {
    LogCapture log;
    Writing w;
    ASSERT_FALSE(w.write(videoClip(20), {}));
    EXPECT_FALSE(w.service->lastMovie()->hasAudioInput);
    EXPECT_EQ(log.count(QStringLiteral("[Write] No audio samples — writing video-only")), 1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[Write] Audio")), 0);

    // Audio without a format description is written as video-only too.
    MediaSample::Parts formatless;
    formatless.timing = {SampleTimingInfo{MediaTime(1, 48000), MediaTime(0, 1), MediaTime::invalid()}};
    ASSERT_FALSE(w.write(videoClip(20), {MediaSample::make(std::move(formatless))}));
    EXPECT_FALSE(w.service->lastMovie()->hasAudioInput);
}

TEST(MovieWriter, SettingsFallBackForMonoZeroRateAndZeroChannels) {
    AudioStreamBasicDescription mono;
    mono.channelsPerFrame = 1;
    mono.sampleRate = 0;
    AudioOutputSettings settings = audioOutputSettings(mono);
    EXPECT_EQ(settings.numberOfChannels, 1);
    EXPECT_EQ(settings.sampleRate, 48000.0);
    EXPECT_EQ(settings.encoderBitRate, 96000);
    EXPECT_EQ(settings.formatID, codec::aac);
    std::uint32_t tag = 0;
    std::memcpy(&tag, settings.channelLayout.data(), sizeof tag);
    EXPECT_EQ(tag, 6553601u);
    EXPECT_TRUE(std::all_of(settings.channelLayout.begin() + 4, settings.channelLayout.end(),
                            [](std::byte b) { return b == std::byte{0}; }));

    AudioStreamBasicDescription none;
    none.channelsPerFrame = 0;
    none.sampleRate = 44100;
    settings = audioOutputSettings(none);
    EXPECT_EQ(settings.numberOfChannels, 1) << "0 channels means 1";
    EXPECT_EQ(settings.sampleRate, 44100.0);

    AudioStreamBasicDescription stereo;
    stereo.channelsPerFrame = 2;
    stereo.sampleRate = 48000;
    settings = audioOutputSettings(stereo);
    std::memcpy(&tag, settings.channelLayout.data(), sizeof tag);
    EXPECT_EQ(tag, 6619138u);
    EXPECT_EQ(settings.encoderBitRate, 192000);

    LogCapture log;
    Writing w;
    ASSERT_FALSE(w.write(videoClip(5), {audioWith(mono, std::vector<std::byte>(960))}));
    EXPECT_EQ(log.count(QStringLiteral("[Write] Audio input: 1ch @ 48000Hz → AAC 96kbps")), 1);
}

TEST(MovieWriter, TheSilenceProbeReadsOnlyTheFirst256Bytes) {
    AudioStreamBasicDescription asbd;
    asbd.channelsPerFrame = 2;
    asbd.sampleRate = 48000;
    std::vector<std::byte> zeros(1024);
    EXPECT_TRUE(leadingBytesAreSilent(*audioWith(asbd, zeros)));
    EXPECT_TRUE(leadingBytesAreSilent(*audioWith(asbd, {})));
    auto late = zeros;
    late[256] = std::byte{1};
    EXPECT_TRUE(leadingBytesAreSilent(*audioWith(asbd, late))) << "byte 257 is never looked at";
    auto early = zeros;
    early[255] = std::byte{1};
    EXPECT_FALSE(leadingBytesAreSilent(*audioWith(asbd, early)));

    LogCapture log;
    Writing w;
    ASSERT_FALSE(w.write(videoClip(5), {audioWith(asbd, zeros)}));
    EXPECT_EQ(log.count(QStringLiteral("[Write] Audio data: ALL ZEROS – nothing was playing")), 1);
}

TEST(MovieWriter, ARefusedAppendWithoutAWriterErrorFailsWithCode1) {
    LogCapture log;
    Writing w;
    w.service->options().refuseVideoAt = 37;
    const MaybeError error = w.write(videoClip(250), audioClip(100));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("Failed to append sample."));
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->domain, QStringLiteral("Backreel"));
    EXPECT_EQ(log.count(QStringLiteral("[Append] append() false at 37/250; writerStatus=1; error=Failed to append sample.")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Append] Done: 100/100 appended")), 1) << "the audio feeder ran to its end";
    EXPECT_EQ(log.count(QStringLiteral("[Write] Calling finishWriting…")), 0) << "a failed writer is not finished";
}

TEST(MovieWriter, WriterErrorsArePassedOnUnchanged) {
    LogCapture log;
    Writing w;
    w.service->options().refuseAudioAt = 3;
    w.service->options().refusalError = Error{QStringLiteral("FFmpeg"), -28, QStringLiteral("No space left on device")};
    MaybeError error = w.write(videoClip(60), audioClip(100));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("No space left on device"));
    EXPECT_EQ(error->code, -28);

    Writing failing;
    failing.service->options().failToStart = true;
    error = failing.write(videoClip(5), {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("AVAssetWriter failed to start."));
    EXPECT_EQ(log.count(QStringLiteral("[Write] Writer not in writing state: AVAssetWriter failed to start.")), 1);

    Writing finishing;
    finishing.service->options().failAtFinish = true;
    error = finishing.write(videoClip(5), {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("AVAssetWriter failed."));
    EXPECT_EQ(log.count(QStringLiteral("[Write] Writer failed: AVAssetWriter failed.")), 1);

    Writing creating;
    creating.service->options().createError = Error{QStringLiteral("FFmpeg"), -13, QStringLiteral("Permission denied")};
    error = creating.write(videoClip(5), {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("Permission denied"));

    error = creating.write({}, {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("No frames to write."));
    EXPECT_EQ(error->code, 0);
}

TEST(MovieWriter, EmptyAudioListFinishesAtOnce) {
    LogCapture log;
    auto service = std::make_shared<SyntheticAssetWriterService>();
    QTemporaryDir dir;
    auto writer = service->createWriter(dir.filePath(QStringLiteral("x.mp4")), FileType::mpeg4).value();
    auto input = writer->makeInput(MediaType::audio, AudioOutputSettings{}, nullptr);
    writer->addInput(input);
    writer->startWriting();
    EXPECT_FALSE(QCoro::waitFor(appendSamples({}, input, writer, Logger::recording())));
    EXPECT_TRUE(service->lastMovie()->audioFinished);
    EXPECT_EQ(log.texts(), (std::vector<QString>{QStringLiteral("[Append] 0 samples via requestMediaDataWhenReady"),
                                                 QStringLiteral("[Append] 0 samples — markAsFinished immediately")}));
}
