// How quickly does Review… show a full buffer, and does looking at it cost the recording a frame?
// A real recording of the 1920×1080 display of a virtual desktop (X11 capture at 30 fps, libx264
// as Backreel sets it up, the 3-minute stores) of moving content (the capture benchmark's, drawn
// at 60 Hz by another process). Once the buffer is full, the review window opens on it:
//   - open: from asking for the snapshot to the first thumbnail on the timeline, to all of them,
//     and to the picture under the playhead;
//   - scrub: the playhead put on 30 pictures spread over the buffer, none a key frame, each
//     timed until its picture is shown (decoded from the key frame before it);
//   - play: 10 s of playing with sound while buffering goes on; every picture that reached the
//     store meanwhile counted, as the Save Clip benchmark counts them.
// Beside it the peer for showing one picture of three minutes: the ffmpeg tool seeking the same
// times in the saved 3-minute movie (`ffmpeg -ss T -i clip.mp4 -frames:v 1`).
//
//   scripts/virtual-desktop build/bench/review [--fill SECONDS]     (default: 181 s)

#include "FrameCount.h"
#include "capture/RecorderSettings.h"
#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "export/ReviewRules.h"
#include "platform/Platform.h"
#include "ui/ReviewWindow.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <string>

using namespace backreel;

namespace {

// Waits until `done`, saying so when it did not come in time.
template <typename Done> void waitFor(const char* what, Done done, int milliseconds) {
    if (!QTest::qWaitFor(done, milliseconds)) {
        std::printf("(no %s within %d ms)\n", what, milliseconds);
    }
}

void printSpread(const char* what, std::vector<double> milliseconds) {
    std::sort(milliseconds.begin(), milliseconds.end());
    const auto at = [&](double share) {
        return milliseconds[std::min(milliseconds.size() - 1, static_cast<std::size_t>(share * static_cast<double>(milliseconds.size())))];
    };
    std::printf("%-34s median %6.1f ms, 90th %6.1f ms, worst %6.1f ms (%zu)\n", what, at(0.5), at(0.9),
                milliseconds.back(), milliseconds.size());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    double fill = 181;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--fill") {
            fill = std::stod(argv[i + 1]);
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "review: DISPLAY is not set; run under scripts/virtual-desktop\n");
        return 2;
    }
    QProcess drawer;
    drawer.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("capture")),
                 {QStringLiteral("--draw"), QStringLiteral("moving")});
    if (!drawer.waitForStarted()) {
        std::fprintf(stderr, "review: the content program (bench/capture) did not start\n");
        return 2;
    }
    QTemporaryDir folder;
    Platform platform = loadPlatform();
    auto saveFlow = std::make_shared<DesktopSaveFlow>(
        nullptr, MovieWriterServices{platform.movieFiles, platform.movieProbe, platform.audioCodecs},
        nullptr);
    auto settings = std::make_shared<RecorderSettings>();
    RecordingManager manager(platform, saveFlow, settings);
    manager.setBufferDuration(RecordingDuration::threeMinutes);
    const QString keptFolder = settings->clipFolder();
    const bool keptAsk = settings->askWhereToSave();
    settings->setClipFolder(folder.path());
    settings->setAskWhereToSave(false);
    QCoro::waitFor(manager.refreshDisplays());
    QCoro::waitFor(manager.startRecording());
    if (!manager.status().is(RecordingStatus::Kind::buffering)) {
        std::fprintf(stderr, "review: %s\n", qPrintable(manager.status().message()));
        return 1;
    }
    std::printf("buffering %.0f s of moving 1920x1080 content at 30 fps…\n", fill);
    std::fflush(stdout);
    QTest::qWait(static_cast<int>(fill * 1000));

    // Open.
    QElapsedTimer clock;
    clock.start();
    std::optional<ReviewSnapshot> snapshot = manager.reviewSnapshot();
    if (!snapshot) {
        std::fprintf(stderr, "review: nothing to review: %s\n", qPrintable(manager.status().message()));
        return 1;
    }
    const std::vector<VideoPacket> video = snapshot->video;
    auto* window = new ReviewWindow(std::move(*snapshot), manager, platform.pictureDecoders, platform.soundPlayers);
    QSignalSpy thumbnails(window, &ReviewWindow::thumbnailShown);
    QSignalSpy pictures(window, &ReviewWindow::pictureShown);
    window->show();
    const double opened = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    waitFor("thumbnail", [&] { return !thumbnails.empty(); }, 10000);
    const double firstThumbnail = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    waitFor("picture", [&] { return !pictures.empty(); }, 10000);
    const double firstPicture = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    // Every thumbnail: until none has come for half a second.
    double lastThumbnail = firstThumbnail;
    for (qsizetype seen = thumbnails.size(); QTest::qWaitFor([&] { return thumbnails.size() > seen; }, 500);
         seen = thumbnails.size()) {
        lastThumbnail = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    std::printf("snapshot of %zu pictures (%.1f s) taken and the window shown after %.1f ms\n", video.size(),
                (reviewEnd(video) - reviewStart(video)).seconds(), opened);
    std::printf("first thumbnail after %.1f ms, picture under the playhead after %.1f ms, all %lld thumbnails "
                "after %.1f ms\n",
                firstThumbnail, firstPicture, static_cast<long long>(thumbnails.size()), lastThumbnail);

    // Scrub: the picture before each of 30 key frames spread over the buffer, the farthest from one.
    std::vector<double> scrubs;
    std::vector<double> offsets;
    for (int i = 1; i <= 30; ++i) {
        std::size_t index = pictureAt(video, reviewStart(video) + MediaTime::makeWithSeconds(i * 5.9, kTimeScale));
        while (index > 0 && video[index].keyFrame) {
            --index;
        }
        pictures.clear();
        clock.restart();
        window->setPosition(index);
        waitFor("scrubbed picture",
                [&] { return !pictures.empty() && pictures.back()[0].value<std::size_t>() == index; }, 5000);
        scrubs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        offsets.push_back((video[index].presentationTime - reviewStart(video)).seconds());
    }
    printSpread("scrub to a picture", scrubs);

    // Play for 10 s while buffering goes on.
    window->setPosition(0);
    const double playFrom = manager.session()->videoStore().newestTime().seconds();
    pictures.clear();
    QTest::keyClick(window, Qt::Key_Space);
    QTest::qWait(10000);
    QTest::keyClick(window, Qt::Key_Space);
    const double playTo = manager.session()->videoStore().newestTime().seconds();
    QTest::qWait(1000);
    const auto [frames, missing] = countFrames(manager.session()->videoStore().snapshot(), playFrom, playTo);
    std::printf("while playing 10 s: the review showed %lld pictures (%.1f fps); the recording stored %lld "
                "(%.2f fps), %lld missing\n",
                static_cast<long long>(pictures.size()), static_cast<double>(pictures.size()) / 10.0,
                static_cast<long long>(frames), static_cast<double>(frames) / (playTo - playFrom),
                static_cast<long long>(missing));

    // The peer: the saved movie, one picture at each time, by the ffmpeg tool.
    window->close();
    QSignalSpy saved(&manager, &RecordingManager::clipSaved);
    QCoro::waitFor(manager.saveClip(std::chrono::seconds(180)));
    if (!saved.empty()) {
        std::vector<double> seeks;
        for (const double offset : offsets) {
            clock.restart();
            QProcess::execute(QStringLiteral("ffmpeg"),
                              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"),
                               QString::number(offset, 'f', 3), QStringLiteral("-i"), saved[0][0].toString(),
                               QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                               QStringLiteral("null"), QStringLiteral("-")});
            seeks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        printSpread("ffmpeg -ss T -frames:v 1 (peer)", seeks);
    }
    settings->setClipFolder(keptFolder);
    settings->setAskWhereToSave(keptAsk);
    drawer.kill();
    drawer.waitForFinished();
    return missing == 0 ? 0 : 1;
}
