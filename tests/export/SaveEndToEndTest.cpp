// The X11 desktop from the screen to the file, the real platform and save flow, checked with FFmpeg.

#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/x11/XcbTestWindow.h"
#include "support/DesktopRecorder.h"
#include "support/FfmpegTestMedia.h"
#include "support/ToneAnalysis.h"

#include <QSignalSpy>

using namespace backreel;
using namespace std::chrono_literals;

// The movie's pictures as the ffmpeg tool decodes them, each as the grey level of one pixel.
static std::string greyLevelsAt(const QString& path, int x, int y) {
    std::string levels;
    test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", QFile::encodeName(path).toStdString(),
                      "-map", "0:v", "-vf",
                      "crop=2:2:" + std::to_string(x) + ":" + std::to_string(y) + ",scale=1:1,format=gray",
                      "-fps_mode", "passthrough", "-f", "rawvideo", "-"},
                     &levels, 60s);
    return levels;
}

// When the tone in this track of the movie begins, in seconds; negative when it is not there.
static double toneStart(const QString& path, int track) {
    const std::vector<float> sound = test::decodeAudio(path, track);
    const std::size_t loud = test::firstLoud(sound, 0.1f);
    return loud < sound.size() ? static_cast<double>(loud) / test::kToneRate : -1;
}

// Save Clip cuts the newest three seconds while buffering goes on; in the file a window turns white
// in step with a tone on the output and one said into the microphone, each in its own track.
TEST(SaveEndToEnd, SaveClipWhileBufferingKeepsWhatWasShownAndHeard) {
    BACKREEL_REQUIRE_DESKTOP("ffplay", "ffprobe", "ffmpeg");
    test::ChildProcess picture;
    ASSERT_TRUE(picture.start({"ffplay", "-loglevel", "quiet", "-an", "-f", "lavfi", "-i",
                               "testsrc2=size=640x360:rate=30", "-left", "0", "-top", "0"}));
    const x11::XcbConnectionPtr connection(xcb_connect(nullptr, nullptr));
    ASSERT_TRUE(connection && xcb_connection_has_error(connection.get()) == 0);
    const test::TestWindow window(connection.get(),
                                  {.x = 640, .y = 0, .width = 160, .height = 160, .colour = 0x000000});
    test::DesktopRecorder recorder;
    recorder.settings->setMicrophone(true);          // the desktop's default one
    recorder.manager.setIncludeBackreelWindow(true); // the window is this process's own
    ASSERT_NO_FATAL_FAILURE(recorder.start(QRectF(0, 0, 800, 360)));
    const RecordingSession* session = recorder.manager.session();
    ASSERT_NO_FATAL_FAILURE(recorder.waitForBuffered(1.0));
    window.paint(test::kWhite);
    const std::int64_t painted = monotonicNowFrames(test::kToneRate);
    const std::optional<std::int64_t> playedAt = test::playToneNow();
    const std::optional<std::int64_t> saidAt = test::playToneNow(660, "mic");
    ASSERT_TRUE(playedAt && saidAt);
    ASSERT_NO_FATAL_FAILURE(recorder.waitForBuffered(3.5));

    QSignalSpy saved(&recorder.manager, &RecordingManager::clipSaved);
    QCoro::waitFor(recorder.manager.saveClip(3s));
    ASSERT_EQ(saved.size(), 1) << recorder.manager.lastClipOutcome().message().toStdString();
    const QString clipPath = saved[0][0].toString();
    EXPECT_TRUE(clipPath.startsWith(recorder.folder.filePath(QStringLiteral("clips/loopvane-"))));
    EXPECT_EQ(recorder.manager.session(), session);
    EXPECT_TRUE(recorder.manager.status().is(RecordingStatus::Kind::buffering));
    ASSERT_EQ(recorder.saveFlow->clips.size(), 1u);
    const Clip clip = recorder.saveFlow->clips[0];
    const double length = (clip.endPTS - clip.startPTS).seconds();
    // The key frame after half a second comes with the first picture then.
    EXPECT_TRUE(length >= 3.0 && length <= 3.5 + 1 / 30.0)
        << "3 s and at most a key frame interval more: " << length;
    // The captured size, and the sound in tracks of these titles.
    const QJsonArray streams = test::probeMovie(clipPath)[u"streams"].toArray();
    ASSERT_EQ(streams.size(), 3);
    EXPECT_TRUE(test::number(streams[0][u"width"]) == 800 && test::number(streams[0][u"height"]) == 360);
    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(clipPath);
    ASSERT_TRUE(info);
    EXPECT_EQ(info.value().audioTitles,
              (std::vector{QStringLiteral("System audio"), QStringLiteral("Microphone")}));

    // The window's middle: black, then white once painted; it shows in one of the first two pictures
    // grabbed after the paint, and each tone is heard where it was played, within 20 ms.
    const std::string grey = greyLevelsAt(clipPath, 720, 80);
    ASSERT_EQ(grey.size(), clip.video.size());
    const auto white =
        std::ranges::find_if(grey, [](char level) { return static_cast<std::uint8_t>(level) > 200; });
    ASSERT_TRUE(white != grey.end() && static_cast<std::uint8_t>(grey.front()) < 50);
    const double shownAt =
        (clip.video[static_cast<std::size_t>(white - grey.begin())].presentationTime - clip.startPTS)
            .seconds();
    for (const auto& [track, played] : {std::pair{0, *playedAt}, std::pair{1, *saidAt}}) {
        const double heardAt = toneStart(clipPath, track);
        ASSERT_GE(heardAt, 0) << "the tone is in track " << track;
        const double lag = shownAt - heardAt - static_cast<double>(painted - played) / test::kToneRate;
        EXPECT_TRUE(lag > -0.02 && lag < 2 / 30.0 + 0.02)
            << "track " << track << " out of step by " << lag << " s";
    }
}
