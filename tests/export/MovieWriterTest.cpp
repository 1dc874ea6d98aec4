#include "export/MovieWriter.h"

#include "export/AudioMix.h"
#include "platform/ffmpeg/AudioTrackClock.h"
#include "support/FfmpegTestMedia.h"
#include "support/Samples.h"
#include "support/synthetic/SyntheticAudioCodec.h"
#include "support/synthetic/SyntheticMovieFile.h"
#include "support/ToneAnalysis.h"

#include <gtest/gtest.h>
#include <QCoroTask>
#include <QDir>

using namespace backreel;

namespace {

class FailingProbe final : public MovieProbe {
public:
    Expected<MovieInfo> probe(const QString&) override {
        return Error(QStringLiteral("unreadable"));
    }
};

std::vector<VideoPacket> videoClip(std::size_t count, double start = 5123.4) {
    std::vector<VideoPacket> packets;
    for (std::size_t i = 0; i < count; ++i) {
        packets.push_back(test::videoPacket(start + static_cast<double>(i) / 30.0, i % 15 == 0));
    }
    return packets;
}

// Packets of 10 ms of 48 kHz stereo at `value` from 50 ms before the video, as the synthetic codec
// makes them.
std::vector<AudioPacket> audioClip(std::size_t count, float value = 0.25f) {
    const std::unique_ptr<AudioEncoder> encoder =
        SyntheticAudioCodecService().encoder({}, AudioOrigin::system).value();
    const std::vector<float> samples(960, value);
    std::vector<AudioPacket> packets;
    for (std::size_t i = 0; i < count; ++i) {
        const MediaTime at = MediaTime::makeWithSeconds(5123.35 + static_cast<double>(i) * 0.01, kTimeScale);
        EXPECT_FALSE(encoder->encode({samples, 2, 48000, at}, packets));
    }
    return packets;
}

struct Writing {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("clip.mp4"));
    std::shared_ptr<SyntheticMovieFileService> files = std::make_shared<SyntheticMovieFileService>();
    std::shared_ptr<AudioCodecService> codecs = std::make_shared<SyntheticAudioCodecService>();

    MaybeError write(std::vector<VideoPacket> video, std::vector<AudioPacket> audio,
                     MicrophoneTrack microphone = MicrophoneTrack::separate) {
        return QCoro::waitFor(writeMovie(std::move(video), std::move(audio), path,
                                         MovieWriterServices{files, std::make_shared<FailingProbe>(), codecs},
                                         Logger::recording(), microphone));
    }
};

} // namespace

TEST(MovieWriter, ReplacesTheFileWithBothTracksMergedByTimeFromTheFirstPicture) {
    Writing w;
    QFile earlier(w.path);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("an earlier movie") > 0);
    earlier.close();
    const std::vector<VideoPacket> video = videoClip(250);
    ASSERT_FALSE(w.write(video, audioClip(900))) << "a probe that cannot read the file fails nothing";

    const SyntheticMovie& movie = *w.files->lastMovie();
    EXPECT_TRUE(movie.pathWasFree) << "the earlier file was removed first";
    EXPECT_EQ(movie.tracks.video, video.front().format);
    EXPECT_EQ(movie.tracks.startTime, video.front().presentationTime);
    EXPECT_EQ(movie.tracks.audio,
              (std::vector{AudioTrackSettings{{}, AudioOrigin::system, QStringLiteral("System audio")}}));
    ASSERT_EQ(movie.video.size(), 250u);
    EXPECT_EQ(movie.audio.size(), 900u) << "audio before the first picture is handed over too";
    EXPECT_EQ(movie.video[7].owner, video[7].owner) << "packets are handed over, not copied";
    EXPECT_TRUE(std::is_sorted(movie.times.begin(), movie.times.end())) << "interleaved by time";
    EXPECT_TRUE(movie.finished);
}

// A microphone gets a track of its own, or is mixed into the one track (what the mix adds up is the
// next test's table; what the file is handed, the last test's).
TEST(MovieWriter, AMicrophoneGetsATrackOfItsOwnOrIsMixedIntoOne) {
    const auto packet = [](AudioOrigin origin, int channels) {
        return AudioPacket{
            nullptr, {}, {}, origin, std::make_shared<AudioStreamFormat>(AudioStreamFormat{channels})};
    };
    const AudioPacket system = packet(AudioOrigin::system, 2);
    const AudioPacket microphone = packet(AudioOrigin::microphone, 1);
    const auto titles = [](const std::vector<AudioTrackSettings>& tracks) {
        std::vector<std::pair<AudioOrigin, QString>> result;
        for (const AudioTrackSettings& track : tracks) {
            result.emplace_back(track.origin, track.title);
        }
        return result;
    };
    using Tracks = std::vector<std::pair<AudioOrigin, QString>>;
    const Tracks both{{AudioOrigin::system, QStringLiteral("System audio")},
                      {AudioOrigin::microphone, QStringLiteral("Microphone")}};
    EXPECT_EQ(titles(audioTracks({microphone, system}, false)), both) << "the system's first";
    EXPECT_EQ(titles(audioTracks({system, microphone}, true)),
              (Tracks{{AudioOrigin::system, QStringLiteral("System audio and microphone")}}));
    EXPECT_EQ(titles(audioTracks({microphone}, true)), (Tracks{{AudioOrigin::system, QStringLiteral("Microphone")}}))
        << "a microphone alone, mixed, is the one track the mix is written to";
    EXPECT_EQ(audioTracks({microphone}, false).front().format.channels, 1);

    const auto at = [](double seconds) {
        return MediaTime::makeWithSeconds(seconds, 1000);
    };
    const std::vector<Marker> markers{
        {at(1), QStringLiteral("before")}, {at(12), {}}, {at(15), QStringLiteral("won")}};
    EXPECT_EQ(chaptersFor(markers, at(10), at(20)),
              (std::vector<MovieChapter>{{at(10), at(12), QStringLiteral("Start")},
                                         {at(12), at(15), QStringLiteral("Marker 2")},
                                         {at(15), at(20), QStringLiteral("won")}}));
    EXPECT_EQ(chaptersFor(markers, at(12), at(14)),
              (std::vector<MovieChapter>{{at(12), at(14), QStringLiteral("Marker 2")}}))
        << "a marker on the first picture needs no chapter before it";
    EXPECT_TRUE(chaptersFor(markers, at(2), at(11)).empty());

    // Mono at 1 kHz so that frames are milliseconds: the system's 0.5 from 0 to 1.5 s, the
    // microphone's 0.75 from 1 s to 2.2 s, then nothing, then the system's -0.25 at 5 s.
    const auto sound = [](double from, int frames, float value, AudioOrigin origin) {
        return AudioChunk{std::make_shared<const std::vector<float>>(static_cast<std::size_t>(frames), value),
                          1, 1000, MediaTime::makeWithSeconds(100 + from, 1000), origin};
    };
    const std::vector<AudioChunk> mixed = mixAudio({sound(0, 1500, 0.5f, AudioOrigin::system),
                                                    sound(1, 1200, 0.75f, AudioOrigin::microphone),
                                                    sound(5, 10, -0.25f, AudioOrigin::system)});
    std::vector<std::tuple<std::int64_t, std::int64_t, float, float>> blocks; // ms, frames, first, last
    for (const AudioChunk& chunk : mixed) {
        EXPECT_EQ(chunk.origin, AudioOrigin::system);
        blocks.emplace_back(std::llround((chunk.presentationTime.seconds() - 100) * 1000), chunk.frameCount(),
                            chunk.view().front(),
                            chunk.view().back());
    }
    const std::vector<std::tuple<std::int64_t, std::int64_t, float, float>> expected{
        {0, 1024, 0.5f, 1.0f},     // 0.5 + 0.75 from 1 s, clipped
        {1024, 1024, 1.0f, 0.75f}, // the microphone alone from 1.5 s
        {2048, 1024, 0.75f, 0.0f}, // its end, then nothing made for the silence up to 5 s
        {4096, 914, 0.0f, -0.25f}}; // the block the last sound falls in, up to its end
    EXPECT_EQ(blocks, expected);
}

TEST(MovieWriter, FailuresArePassedOnAndLeaveTheFileUnfinished) {
    Writing w;
    w.files->options().failVideoAt = 37;
    MaybeError error = w.write(videoClip(250), audioClip(100));
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, w.files->options().writeError);
    EXPECT_EQ(w.files->lastMovie()->video.size(), 37u) << "writing stops at the failure";
    EXPECT_FALSE(w.files->lastMovie()->finished);

    w.files->options().writeError = Error{};
    error = w.write(videoClip(50), {});
    EXPECT_EQ(error, Error(QStringLiteral("Failed to append sample.")));
    EXPECT_TRUE(w.files->lastMovie()->tracks.audio.empty()) << "without audio, only the video track";

    w.files->options().createError =
        Error(QStringLiteral("Permission denied (/x.mp4)"), EACCES);
    EXPECT_EQ(w.write(videoClip(5), {}), w.files->options().createError);
    w.files->options().createError.reset();

    ASSERT_TRUE(QDir(w.path).mkpath(QStringLiteral("inside")));
    error = w.write(videoClip(5), {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, QStringLiteral("Is a directory")) << "the system's words";

    EXPECT_EQ(w.write({}, {}), Error(QStringLiteral("No frames to write.")));
    EXPECT_EQ(QCoro::waitFor(writeMovie(videoClip(5), {}, w.path, {}, Logger::recording())),
              Error(QStringLiteral("This build of Backreel cannot write movies.")));
}

// Mixed with the real codec, the file is handed the one track's sound, each where it was: the
// microphone's tone from 0.2 s, the system's, in phase with it, from 0.5 s, where the two add up.
TEST(MovieWriter, AMixOfCompressedSoundKeepsEachWhereItWas) {
    std::vector<AudioChunk> chunks = test::toneChunks(test::kFirstVideoPts - MediaTime(1, 20), 1.5, 0.5);
    for (AudioChunk chunk : test::toneChunks(test::kFirstVideoPts, 1.0, 0.2)) {
        chunk.origin = AudioOrigin::microphone;
        chunks.push_back(chunk);
    }
    Writing w;
    w.codecs = std::make_shared<FfmpegAudioCodecService>();
    ASSERT_FALSE(
        w.write(videoClip(45), test::aacPackets(chunks, test::kFirstVideoPts), MicrophoneTrack::mixed));
    const SyntheticMovie& movie = *w.files->lastMovie();
    ASSERT_EQ(movie.tracks.audio.size(), 1u);
    EXPECT_EQ(movie.tracks.audio.front().title, QStringLiteral("System audio and microphone"));
    ASSERT_FALSE(movie.audio.empty());
    // The first channel from the first picture on, as a player gives it.
    std::vector<float> heard;
    const std::unique_ptr<AudioDecoder> decoder =
        w.codecs->decoder(movie.tracks.audio.front().format).value();
    for (const AudioPacket& packet : movie.audio) {
        EXPECT_EQ(packet.origin, AudioOrigin::system);
        const AudioChunk decoded = decoder->decode(packet).value();
        const std::int64_t at = framesBetween(test::kFirstVideoPts, decoded.presentationTime, 48000);
        for (std::int64_t frame = 0; frame < decoded.frameCount(); ++frame) {
            if (at + frame >= 0) {
                heard.resize(static_cast<std::size_t>(at + frame + 1));
                heard.back() = decoded.view()[static_cast<std::size_t>(frame * decoded.channels)];
            }
        }
    }
    EXPECT_NEAR(static_cast<double>(test::firstLoud(heard, 0.25f)) / 48000, 0.2, 0.0005);
    EXPECT_NEAR(static_cast<double>(test::firstLoud(heard, 0.75f)) / 48000, 0.5, 0.0005);
}
