// Does a Save Clip cost the recording any frame? A real recording of the 1920×1080 display of a
// virtual desktop (X11 capture at 30 fps, libx264 as Backreel sets it up, the 3-minute stores)
// shows moving content (the capture benchmark's, drawn at 60 Hz by another process, so every
// tick grabs a new picture). Once the buffer is full, Save Clip writes the last 3 minutes into a
// folder while buffering goes on. Every picture that reached the store around the save is
// counted: a tick without a picture is a gap of more than 1.5 frame intervals between
// neighbouring presentation times, whether the capture or the encoder lost it.
//
//   scripts/virtual-desktop build/bench/saveclip [--fill SECONDS] [--length SECONDS] [--folder DIR]
//          (defaults: 181 s of buffering first, a clip of 180 s, into a temporary folder)
//
// Prints the frames before, during and after the save, the gaps, the save's wall time and the
// saved movie's probed length. The exit status is 0 when no frame was missing.

#include "FrameCount.h"
#include "capture/RecorderSettings.h"
#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "platform/MovieFile.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdio>
#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <string>

using namespace backreel;

namespace {

double newest(const RecordingManager& manager) {
    const std::vector<VideoPacket> video = manager.session()->videoStore().snapshot();
    return video.empty() ? 0 : video.back().presentationTime.seconds();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    double fill = 181;
    std::int64_t length = 180;
    QString folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--fill") {
            fill = std::stod(argv[i + 1]);
        } else if (option == "--length") {
            length = std::stoll(argv[i + 1]);
        } else if (option == "--folder") {
            folder = QString::fromLocal8Bit(argv[i + 1]);
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "saveclip: DISPLAY is not set; run under scripts/virtual-desktop\n");
        return 2;
    }
    QTemporaryDir temporary;
    if (folder.isEmpty()) {
        folder = temporary.path();
    }

    QProcess drawer;
    drawer.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("capture")),
                 {QStringLiteral("--draw"), QStringLiteral("moving")});
    if (!drawer.waitForStarted()) {
        std::fprintf(stderr, "saveclip: the content program (bench/capture) did not start\n");
        return 2;
    }

    Platform platform = loadPlatform();
    auto saveFlow = std::make_shared<DesktopSaveFlow>(
        nullptr, MovieWriterServices{platform.movieFiles, platform.movieProbe, platform.audioCodecs},
        nullptr);
    auto settings = std::make_shared<RecorderSettings>();
    RecordingManager manager(platform, saveFlow, settings);
    manager.setBufferDuration(RecordingDuration::threeMinutes);
    settings->setAskWhereToSave(false);
    settings->setFreshBufferAfterSave(false);
    const QString keptFolder = settings->clipFolder();
    settings->setClipFolder(folder);
    QCoro::waitFor(manager.refreshDisplays());
    QCoro::waitFor(manager.startRecording());
    if (!manager.status().is(RecordingStatus::Kind::buffering)) {
        std::fprintf(stderr, "saveclip: %s\n", qPrintable(manager.status().message()));
        return 1;
    }
    QString saved;
    double savedSeconds = 0;
    QObject::connect(&manager, &RecordingManager::clipSaved, [&](const QString& path, double seconds) {
        saved = path;
        savedSeconds = seconds;
    });

    std::printf("buffering %.0f s of moving 1920x1080 content at 30 fps…\n", fill);
    std::fflush(stdout);
    QTest::qWait(static_cast<int>(fill * 1000));

    const double saveFrom = newest(manager);
    QElapsedTimer wall;
    wall.start();
    QCoro::waitFor(manager.saveClip(std::chrono::seconds(length)));
    const double saveSeconds = static_cast<double>(wall.elapsed()) / 1000;
    const double saveTo = newest(manager);
    QTest::qWait(3000); // three seconds after it, for the pictures still in the encoder and beyond
    const std::vector<VideoPacket> video = manager.session()->videoStore().snapshot();
    const double end = video.empty() ? 0 : video.back().presentationTime.seconds();

    const FrameCount before = countFrames(video, saveFrom - 10, saveFrom);
    const FrameCount during = countFrames(video, saveFrom, saveTo);
    const FrameCount after = countFrames(video, saveTo, end + 1);
    const std::size_t held =
        manager.session()->stores().video()->bytes() + manager.session()->stores().audio()->bytes();
    settings->setClipFolder(keptFolder);
    drawer.kill();
    drawer.waitForFinished();

    std::printf("save of %lld s: %.2f s wall time, %s\n", static_cast<long long>(length), saveSeconds,
                saved.isEmpty() ? qPrintable(manager.lastClipOutcome().message())
                                : qPrintable(QFileInfo(saved).fileName()));
    if (!saved.isEmpty()) {
        const Expected<MovieInfo> info = platform.movieProbe->probe(saved);
        std::printf("movie: %.2f s announced, %.2f s probed, %zu video and %zu audio tracks\n", savedSeconds,
                    info ? info.value().durationSeconds : -1.0, info ? info.value().videoTrackCount : 0,
                    info ? info.value().audioTrackCount : 0);
    }
    const auto line = [](const char* what, const FrameCount& count, double seconds) {
        std::printf("%-32s %6lld frames in %6.2f s (%5.2f fps), %lld missing\n", what,
                    static_cast<long long>(count.frames), seconds,
                    static_cast<double>(count.frames) / seconds, static_cast<long long>(count.missing));
    };
    line("10 s before the save", before, 10);
    line("during the save", during, saveTo - saveFrom);
    line("after the save", after, end - saveTo);
    std::printf("stores held %.1f MB at the end\n", static_cast<double>(held) / 1e6);
    return before.missing + during.missing + after.missing == 0 && !saved.isEmpty() ? 0 : 1;
}
