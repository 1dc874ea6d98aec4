// A screen where nothing changes is not grabbed again: the X11 capture hands on a picture only
// when something was drawn or the pointer moved, and the recording repeats the last one as a key
// frame every half second.

#include "capture/RecordingSession.h"
#include "export/ClipSelection.h"
#include "export/MovieWriter.h"
#include "platform/ffmpeg/FfmpegMovieFile.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "X11TestSupport.h"

#include <QCoroTask>
#include <QTemporaryDir>
#include <ranges>
#include <sstream>

namespace backreel::test {
namespace {

// A started recording session; null (and a failure) when it did not start.
QCoro::Task<std::unique_ptr<RecordingSession>> startSession(Platform platform, RecordingSetup setup) {
    auto starting = RecordingSession::start(std::move(platform), std::move(setup), Logger::recording());
    Expected<std::unique_ptr<RecordingSession>> session = co_await starting;
    if (!session) {
        ADD_FAILURE() << session.error().description.toStdString();
        co_return std::unique_ptr<RecordingSession>();
    }
    co_return std::move(session).value();
}

class X11StillScreenTest : public X11Test {
protected:
    static void movePointer(int x, int y) {
        ChildProcess xdotool;
        ASSERT_TRUE(xdotool.start({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}));
        ASSERT_TRUE(xdotool.waitForSuccess(5s)) << xdotool.output();
    }
    // Whether the newest picture shows something else than `colour` in the 32×32 square around
    // (x, y): the cursor, when its hot spot is there.
    bool showsCursorAt(int x, int y, std::uint32_t colour) const {
        return std::ranges::any_of(std::views::iota(0, 32 * 32), [&](int i) {
            return colourAt(x - 16 + i % 32, y - 16 + i / 32) != colour;
        });
    }
    static std::int64_t unchangedTicks(const X11VideoSource& source) { return source.statistics().unchanged; }
};

TEST_F(X11StillScreenTest, aStillScreenIsGrabbedAgainOnlyWhenSomethingIsDrawnOrThePointerMoves) {
    movePointer(1500, 900);
    auto window = ownWindow({100, 100, 300, 200, kYellow});
    const Display& display = content_.displays.front();
    auto stream = start(displayFilter(), settings(display.width, display.height));
    ASSERT_TRUE(stream);
    collector_->probeAt(250, 200);
    ASSERT_TRUE(waitForColour(250, 200, kYellow));
    std::this_thread::sleep_for(200ms); // whatever the start itself drew has been taken

    // A second without a change: the ticks go on, without pictures.
    const int still = collector_->pictures();
    const std::int64_t ticks = unchangedTicks(*stream);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(collector_->pictures(), still);
    EXPECT_GE(unchangedTicks(*stream) - ticks, 20);

    // The very first picture after the still phase shows what was drawn.
    window->paint(kBlue);
    ASSERT_TRUE(waitForColour(250, 200, kBlue));
    EXPECT_EQ(collector_->probed().at(static_cast<std::size_t>(still)), kBlue);

    // The pointer moved over the still window shows in its new places, and leaves the old ones.
    movePointer(160, 150);
    EXPECT_TRUE(waitUntil([&] { return showsCursorAt(160, 150, kBlue); })) << "no cursor at the first place";
    movePointer(330, 250);
    EXPECT_TRUE(waitUntil([&] { return showsCursorAt(330, 250, kBlue); })) << "no cursor at the second place";
    EXPECT_FALSE(showsCursorAt(160, 150, kBlue));
}

TEST_F(X11StillScreenTest, aWindowThatStartsChangingAfterAStillPhaseIsCapturedFromItsFirstChange) {
    movePointer(1500, 900);
    auto window = ownWindow({500, 300, 200, 120, kYellow});
    auto stream = start(windowFilter(window->id(), QRectF(500, 300, 200, 120)), settings(200, 120));
    ASSERT_TRUE(stream);
    collector_->probeAt(100, 60);
    ASSERT_TRUE(waitForColour(100, 60, kYellow));
    std::this_thread::sleep_for(200ms);
    const int still = collector_->pictures();
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(collector_->pictures(), still);

    window->paint(kBlue);
    ASSERT_TRUE(waitForColour(100, 60, kBlue));
    EXPECT_EQ(collector_->probed().at(static_cast<std::size_t>(still)), kBlue);
    window->paint(kGreen);
    EXPECT_TRUE(waitForColour(100, 60, kGreen));
}

// Three seconds of a still desktop through the recorder's encoder: a key frame every half second
// and one more picture at the stop; a clip cut from it starts on a key frame and lasts exactly
// from there to the stop, each picture in the file as long as it was on screen.
TEST_F(X11StillScreenTest, aStillDesktopIsBufferedAsAKeyFrameEveryHalfSecondAndItsClipsHaveTheirLength) {
    movePointer(1500, 900);
    Platform platform;
    platform.capture = service_;
    platform.encoders = std::make_shared<FfmpegVideoEncoderService>();
    const RecordingSetup setup{ResolvedCapture{displayFilter(), 640, 360, QRectF(0, 0, 640, 360)}, 10};
    auto starting = startSession(platform, setup);
    const std::unique_ptr<RecordingSession> session = QCoro::waitFor(starting);
    ASSERT_TRUE(session);
    std::this_thread::sleep_for(3s);
    auto stopping = session->stop();
    const BufferedMedia media = QCoro::waitFor(stopping);
    const MediaTime stoppedAt = x11::monotonicNow();

    const std::vector<VideoPacket>& video = media.video;
    ASSERT_GE(video.size(), 6u);
    EXPECT_LE(video.size(), 8u);
    for (std::size_t i = 0; i + 1 < video.size(); ++i) {
        EXPECT_TRUE(video[i].keyFrame) << "frame " << i;
        if (i > 0) {
            const double gap = (video[i].presentationTime - video[i - 1].presentationTime).seconds();
            EXPECT_TRUE(gap > 0.45 && gap < 0.55) << "frame " << i << " comes " << gap << " s after the last";
        }
    }
    EXPECT_LT((stoppedAt - video.back().presentationTime).seconds(), 0.2)
        << "the last picture is at the stop";

    const ClipSelection selection = selectClip(video, {}, 2.0, Logger::recording());
    ASSERT_TRUE(std::holds_alternative<Clip>(selection));
    const Clip& clip = std::get<Clip>(selection);
    ASSERT_TRUE(clip.video.front().keyFrame);
    const double before = (clip.endPTS - clip.startPTS).seconds() - 2.0;
    EXPECT_TRUE(before >= 0 && before < 0.55) << "starts " << before << " s before the requested start";

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("still.mp4"));
    FfmpegMovieFileService files;
    Expected<std::unique_ptr<MovieFile>> file =
        files.create(path, MovieTracks{clip.video.front().format, std::nullopt, clip.startPTS});
    ASSERT_TRUE(file) << file.error().description.toStdString();
    ASSERT_FALSE(writeTracks(*file.value(), clip.video, {}));
    const Expected<MovieInfo> written = FfmpegMovieProbe().probe(path);
    ASSERT_TRUE(written);
    const double length = (clip.endPTS - clip.startPTS + clip.video.back().duration).seconds();
    EXPECT_NEAR(written.value().durationSeconds, length, 0.002);

    ChildProcess probe;
    ASSERT_TRUE(probe.start({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                             "packet=duration_time", "-of", "csv=p=0", path.toStdString()},
                            false));
    ASSERT_TRUE(probe.waitForSuccess(10s));
    std::istringstream durations(probe.output());
    for (std::size_t i = 0; i < clip.video.size(); ++i) {
        double seconds = 0;
        ASSERT_TRUE(durations >> seconds) << "packet " << i;
        const MediaTime shown = i + 1 < clip.video.size()
                                    ? clip.video[i + 1].presentationTime - clip.video[i].presentationTime
                                    : clip.video[i].duration;
        EXPECT_NEAR(seconds, shown.seconds(), 0.001) << "packet " << i;
    }
    // The key frames shown again are the first one's bytes: the whole movie decodes without a word.
    std::string messages;
    EXPECT_TRUE(runProgram(
        {"ffmpeg", "-v", "warning", "-i", path.toStdString(), "-enc_time_base", "-1", "-f", "null", "-"},
        &messages));
    EXPECT_EQ(messages, "");
}

} // namespace
} // namespace backreel::test
