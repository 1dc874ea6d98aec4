// What capturing the screen costs: the 1920×1080 display of a virtual desktop goes through the X11
// video source (MIT-SHM grabs at 30 fps) into the recorder's frame pipeline, which hands every
// picture (and, while the screen stands still, a repeat of the last one every half second) to the
// FFmpeg backend's encoder set up as the recorder sets it up (libx264, 20 Mbit/s, a key frame every
// 0.5 s, so every 15, the preset Backreel picks). The content is, in turn:
//   - a static desktop: a full-screen window painted once;
//   - a clock: the same, with a small area (160×40) painted again once a second;
//   - moving content: a full-screen window whose pattern moves every 1/60 s, captured by Backreel
//     without encoding (frames counted), with encoding, and by `ffmpeg -f x11grab` with the same
//     settings for comparison;
//   - the same moving content under a competing load (a process of its own keeping both cores busy
//     60 % of the time, as a game would), Backreel with encoding beside ffmpeg.
// The runs follow each other, each for the same time, so none takes CPU from another. Besides each
// one's own CPU time the X server's is shown (above what it spends showing the content alone):
// with MIT-SHM it is the server that copies the pixels.
//
// With --portal, the screen-cast portal's capture instead: the test portal's synthetic nodes
// backreel-monitor and backreel-monitor-1080 (moving bars, up to 30 fps) through the same delegate
// and encoder, after the X11 capture of the moving content for comparison.
//
// With --fps 60, the moving content only, Backreel and ffmpeg both at 60 frames a second (30 Mbit/s,
// as the recorder sets it at that rate).
//
// usage (under scripts/virtual-desktop): build/bench/capture [SECONDS] [--preset PRESET] [--fps 60]
//        scripts/virtual-desktop --portal-source backreel-monitor:moving:1280x720
//            --portal-source backreel-monitor-1080:moving:1920x1080 build/bench/capture --portal [SECONDS]
// The content is this program started again with --draw KIND, in its own process so that its
// painting is not counted as ours.

#include "capture/FramePipeline.h"
#include "platform/portal/PortalCaptureService.h"
#include "platform/portal/PortalVideoSource.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11VideoSource.h"
#include "CpuLoad.h"
#include "RecorderEncoder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <optional>
#include <QCoreApplication>
#include <QCoroTask>
#include <QDBusInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryFile>
#include <QTimer>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// The competing load's share of each core.
constexpr int kLoadPercent = 60;

enum class Content { still, clock, moving };

// A full-screen window with bars and a square: still, with a clock-like area painted again once a
// second, or with everything moving every 1/60 s.
class DrawnContent final : public QRasterWindow {
public:
    explicit DrawnContent(Content content)
        : content_(content) {
        if (content_ != Content::still) {
            startTimer(content_ == Content::clock ? 1000 : 16, Qt::PreciseTimer);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int t = content_ == Content::moving ? frame_ : 0;
        for (int x = 0; x < width(); x += 64) {
            painter.fillRect(x, 0, 64, height(), QColor::fromHsv((x / 8 + t * 3) % 360, 200, 220));
        }
        painter.fillRect((t * 7) % width(), (t * 5) % height(), 240, 240, Qt::black);
        painter.fillRect(kClock, Qt::white);
        painter.drawText(kClock, Qt::AlignCenter, QString::number(frame_));
    }
    void timerEvent(QTimerEvent*) override {
        ++frame_;
        content_ == Content::clock ? update(kClock) : update();
    }

private:
    static constexpr QRect kClock{40, 20, 160, 40};
    const Content content_;
    int frame_ = 0;
};

int drawContent(int argc, char* argv[], Content content) {
    QGuiApplication application(argc, argv);
    DrawnContent window(content);
    window.setGeometry(0, 0, kWidth, kHeight);
    window.show();
    return QGuiApplication::exec();
}

// The X server of the virtual desktop: the Xvfb started by the same scripts/virtual-desktop as we
// were (our sibling), or 0. Its CPU time counts too: with MIT-SHM the server copies the pixels.
pid_t findXServer() {
    const pid_t parent = getppid();
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs)) {
        bool isNumber = false;
        const int pid = entry.toInt(&isNumber);
        if (!isNumber) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString text = QString::fromLatin1(stat.readAll());
        const auto nameEnd = text.lastIndexOf(QLatin1Char(')'));
        const QStringList fields = text.mid(nameEnd + 2).split(QLatin1Char(' '));
        if (text.contains(QStringLiteral("(Xvfb)")) && fields.size() > 1 && fields[1].toInt() == parent) {
            return pid;
        }
    }
    return 0;
}

// CPU seconds a process used so far (user + system), from /proc/PID/stat.
double processCpuSeconds(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid == 0 || !stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QString text = QString::fromLatin1(stat.readAll());
    const QStringList fields = text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
    // After the name: state is field 0, utime field 11, stime field 12.
    return fields.size() > 12
               ? (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK))
               : 0;
}

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6 +
           static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

long peakResidentKibibytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Counts the pictures; hands every frame to the recorder's frame pipeline when there is one.
class CountingSink final : public FrameSink {
public:
    explicit CountingSink(FramePipeline* pipeline)
        : pipeline_(pipeline) {}
    void takeFrame(const VideoFrame& frame) override {
        frames += frame.image ? 1 : 0;
        if (pipeline_ != nullptr) {
            pipeline_->takeFrame(frame);
        }
    }
    std::atomic<std::int64_t> frames = 0;

private:
    FramePipeline* const pipeline_;
};

struct RunResult {
    double cpuPerSecond = 0;
    double serverCpuPerSecond = 0; // the X server's, less what it spends without any capture
    std::int64_t frames = 0;
    std::int64_t dropped = 0;
    std::int64_t encoded = -1;
    long peakKibibytes = 0;
};

pid_t xServer = 0;
// The frames a second of every run (--fps).
int frameRate = 30;
double idleServerCpuPerSecond = 0; // the X server showing the moving content, nobody capturing

// Waits the given time with the main thread's events handled (the portal's signals come there).
void waitWithEvents(double seconds) {
    QElapsedTimer wall;
    wall.start();
    while (static_cast<double>(wall.nsecsElapsed()) / 1e9 < seconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(5ms);
    }
}

// A video source of the service at width×height, run for the given time into the sink.
struct SourceRun {
    CaptureService& service;
    ContentFilter filter;
    std::int32_t width = kWidth;
    std::int32_t height = kHeight;
    // The frames the source dropped, from its statistics.
    std::function<std::int64_t(VideoSource&)> dropped;
};

// Waits for the task on the main thread, its events handled meanwhile.
template <typename T> T awaitTask(QCoro::Task<T> task) {
    std::optional<T> result;
    auto run = [&]() -> QCoro::Task<> { result.emplace(co_await std::move(task)); };
    QCoro::Task<> running = run();
    while (!result) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return std::move(*result);
}

RunResult runOurs(const SourceRun& run, double seconds, const std::string& preset, bool encode) {
    std::atomic<std::int64_t> encoded = 0;
    std::shared_ptr<FfmpegVideoEncoder> encoder;
    std::unique_ptr<FramePipeline> pipeline;
    if (encode) {
        encoder = bench::recorderEncoder(preset, run.width, run.height,
                                         EncoderOutput{[&](const VideoPacket&) { ++encoded; }, {}}, frameRate);
        if (!encoder) {
            std::fprintf(stderr, "capture: no H.264 encoder\n");
            return {};
        }
        pipeline = std::make_unique<FramePipeline>(encoder, Logger::recording());
    }
    VideoSourceSettings settings;
    settings.width = run.width;
    settings.height = run.height;
    settings.frameInterval = MediaTime(1, frameRate);
    settings.scalesToFit = true;
    CountingSink sink(pipeline.get());
    std::unique_ptr<VideoSource> source = run.service.makeVideoSource(run.filter, settings);

    const double cpuBefore = processCpuSeconds();
    const double serverBefore = processCpuSeconds(xServer);
    QElapsedTimer wall;
    wall.start();
    if (std::optional<CaptureError> failure = awaitTask(source->start(sink))) {
        std::fprintf(stderr, "capture: %s\n", qPrintable(failure->message));
        return {};
    }
    waitWithEvents(seconds);
    source->stop();
    if (pipeline) {
        pipeline->finish();
    }
    if (encoder) {
        encoder->finish();
    }
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    RunResult result;
    result.cpuPerSecond = (processCpuSeconds() - cpuBefore) / elapsed;
    result.serverCpuPerSecond =
        (processCpuSeconds(xServer) - serverBefore) / elapsed - idleServerCpuPerSecond;
    result.frames = sink.frames;
    result.dropped = run.dropped(*source) + (pipeline ? pipeline->framesDropped() : 0);
    result.encoded = encoder ? encoded.load() : -1;
    result.peakKibibytes = peakResidentKibibytes();
    return result;
}

RunResult runOurs(const backreel::Display& display, double seconds, const std::string& preset, bool encode) {
    X11CaptureService service;
    const SourceRun run{service, ContentFilter::display(display, {}, {}), kWidth, kHeight,
                        [](VideoSource& source) {
                            const auto statistics = static_cast<X11VideoSource&>(source).statistics();
                            return statistics.droppedBusy + statistics.skippedLate;
                        }};
    return runOurs(run, seconds, preset, encode);
}

// The same through the screen-cast portal, on the test portal's synthetic node of that name
// (scripts/virtual-desktop --portal): chosen in its dialog, captured at the node's size.
RunResult runPortal(const QString& node, double seconds, const std::string& preset, bool encode) {
    QDBusInterface control(QStringLiteral("org.freedesktop.impl.portal.desktop.backreeltest"),
                           QStringLiteral("/org/backreel/TestPortal"),
                           QStringLiteral("org.backreel.TestPortal"));
    control.call(QStringLiteral("Choose"), QStringLiteral("monitor"), node);
    control.call(QStringLiteral("SetRefuseRestore"), true);
    PortalCaptureService service;
    const Expected<ShareableContent, CaptureError> chosen = awaitTask(service.chooseContent(ContentKind::display, 30));
    if (!chosen || chosen.value().displays.empty()) {
        std::fprintf(stderr, "capture: the portal chose nothing: %s\n",
                     !chosen ? qPrintable(chosen.error().message) : "no display");
        return {};
    }
    const backreel::Display display = chosen.value().displays.front();
    const SourceRun run{service, ContentFilter::display(display, {}, {}), display.width, display.height,
                        [](VideoSource& source) {
                            return static_cast<PortalVideoSource&>(source).statistics().droppedBusy;
                        }};
    return runOurs(run, seconds, preset, encode);
}

RunResult runFfmpeg(double seconds, const std::string& preset) {
    QTemporaryFile timing;
    timing.open();
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("/usr/bin/time"), {QStringLiteral("-f"),
                                                   QStringLiteral("%U %S %M"),
                                                   QStringLiteral("-o"),
                                                   timing.fileName(),
                                                   QStringLiteral("ffmpeg"),
                                                   QStringLiteral("-nostdin"),
                                                   QStringLiteral("-hide_banner"),
                                                   QStringLiteral("-f"),
                                                   QStringLiteral("x11grab"),
                                                   QStringLiteral("-framerate"),
                                                   QString::number(frameRate),
                                                   QStringLiteral("-video_size"),
                                                   QStringLiteral("%1x%2").arg(kWidth).arg(kHeight),
                                                   QStringLiteral("-i"),
                                                   qEnvironmentVariable("DISPLAY"),
                                                   QStringLiteral("-t"),
                                                   QString::number(seconds),
                                                   QStringLiteral("-c:v"),
                                                   QStringLiteral("libx264"),
                                                   QStringLiteral("-preset"),
                                                   QString::fromStdString(preset),
                                                   QStringLiteral("-tune"),
                                                   QStringLiteral("zerolatency"),
                                                   QStringLiteral("-b:v"),
                                                   frameRate > 30 ? QStringLiteral("30M") : QStringLiteral("20M"),
                                                   QStringLiteral("-g"),
                                                   QString::number(frameRate / 2),
                                                   QStringLiteral("-f"),
                                                   QStringLiteral("null"),
                                                   QStringLiteral("-")});
    QElapsedTimer wall;
    wall.start();
    const double serverBefore = processCpuSeconds(xServer);
    ffmpeg.waitForFinished(static_cast<int>(seconds * 1000) + 60'000);
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double serverCpuPerSecond =
        (processCpuSeconds(xServer) - serverBefore) / elapsed - idleServerCpuPerSecond;
    const QString log = QString::fromLocal8Bit(ffmpeg.readAll());
    RunResult result;
    result.serverCpuPerSecond = serverCpuPerSecond;
    const QStringList times = QString::fromLocal8Bit(timing.readAll()).split(QLatin1Char(' '));
    if (times.size() >= 3) {
        result.cpuPerSecond = (times[0].toDouble() + times[1].toDouble()) / elapsed;
        result.peakKibibytes = times[2].trimmed().toLong();
    }
    // The last progress line: "frame= 1800 fps= 30 ... dup=0 drop=3 ...".
    const QRegularExpression frames(QStringLiteral("frame=\\s*(\\d+)"));
    for (auto match = frames.globalMatch(log); match.hasNext();) {
        result.frames = match.next().captured(1).toLongLong();
    }
    const QRegularExpression drops(QStringLiteral("drop=\\s*(\\d+)"));
    for (auto match = drops.globalMatch(log); match.hasNext();) {
        result.dropped = match.next().captured(1).toLongLong();
    }
    if (ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "capture: ffmpeg failed:\n%s\n", qPrintable(log.right(2000)));
    }
    return result;
}

void print(const char* name, const RunResult& result, double seconds) {
    std::printf("%-44s %6.3f CPU s/s (+%5.3f X server)  %6lld frames (%5.1f fps, %5.1f %% of ticks)  %5lld "
                "dropped  %speak RSS %6.1f MiB\n",
                name, result.cpuPerSecond, result.serverCpuPerSecond, static_cast<long long>(result.frames),
                static_cast<double>(result.frames) / seconds,
                100.0 * static_cast<double>(result.frames) / (seconds * frameRate),
                static_cast<long long>(result.dropped),
                result.encoded >= 0 ? qPrintable(QStringLiteral("%1 encoded ").arg(result.encoded)) : "",
                static_cast<double>(result.peakKibibytes) / 1024.0);
    std::fflush(stdout);
}

// Starts this program again to draw the content; returns once it has been up for a second.
void startDrawing(QProcess& drawer, const char* kind) {
    drawer.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--draw"), QString::fromLatin1(kind)});
    drawer.waitForStarted();
    std::this_thread::sleep_for(1s); // the window is up and painting
}

void stopDrawing(QProcess& drawer) {
    drawer.kill();
    drawer.waitForFinished();
}

// What the X server spends showing the content with nobody capturing, per second.
double measureIdleServer(double seconds) {
    const double before = processCpuSeconds(xServer);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (processCpuSeconds(xServer) - before) / seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 2 && std::string(argv[1]) == "--burn") {
        bench::burnCpu(std::stoi(argv[2]));
    }
    if (argc > 2 && std::string(argv[1]) == "--draw") {
        const std::string kind = argv[2];
        return drawContent(argc, argv,
                           kind == "still"   ? Content::still
                           : kind == "clock" ? Content::clock
                                             : Content::moving);
    }
    QCoreApplication application(argc, argv);
    double seconds = 60;
    std::string preset = kDefaultSoftwarePreset; // what the FFmpeg backend uses for software H.264
    bool portal = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--preset" && i + 1 < argc) {
            preset = argv[++i];
        } else if (argument == "--fps" && i + 1 < argc) {
            frameRate = std::stoi(argv[++i]);
        } else if (argument == "--portal") {
            portal = true;
        } else {
            seconds = std::stod(argument);
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "capture: DISPLAY is not set; run under scripts/virtual-desktop\n");
        return 2;
    }

    X11CaptureService service;
    const Expected<ShareableContent, CaptureError> content = awaitTask(service.shareableContent());
    if (!content || content.value().displays.empty()) {
        std::fprintf(stderr, "capture: no display\n");
        return 1;
    }
    const backreel::Display display = content.value().displays.front();
    xServer = findXServer();
    const double idleSeconds = std::min(seconds, 10.0);
    std::printf("capture of a %dx%d display at %d fps for %.0f s each, x264 preset %s, %u cores\n",
                display.width, display.height, frameRate, seconds, preset.c_str(),
                std::thread::hardware_concurrency());

    QProcess drawer;
    if (portal) {
        // The screen-cast portal's synthetic nodes (moving bars at up to 30 fps) next to the X11
        // capture of moving content, frames counted and encoded.
        startDrawing(drawer, "moving");
        idleServerCpuPerSecond = measureIdleServer(idleSeconds);
        print("X11 capture (frames counted)", runOurs(display, seconds, preset, false), seconds);
        print("X11 capture + libx264", runOurs(display, seconds, preset, true), seconds);
        stopDrawing(drawer);
        idleServerCpuPerSecond = 0;
        for (const char* node : {"backreel-monitor", "backreel-monitor-1080"}) {
            const QString name = QString::fromLatin1(node);
            print(qPrintable(QStringLiteral("portal %1 (frames counted)").arg(name)),
                  runPortal(name, seconds, preset, false), seconds);
            print(qPrintable(QStringLiteral("portal %1 + libx264").arg(name)),
                  runPortal(name, seconds, preset, true), seconds);
        }
        return 0;
    }
    for (const char* kind : {"still", "clock"}) {
        if (frameRate != 30) {
            break; // only moving content shows what the frame rate costs
        }
        startDrawing(drawer, kind);
        idleServerCpuPerSecond = measureIdleServer(idleSeconds);
        std::printf("X server (pid %d) showing the %s content, nobody capturing: %.3f CPU s/s\n",
                    static_cast<int>(xServer), kind, idleServerCpuPerSecond);
        const QString what =
            QString::fromLatin1(std::string(kind) == "still" ? "static desktop" : "clock at 1 Hz");
        print(qPrintable(QStringLiteral("Backreel capture, %1").arg(what)),
              runOurs(display, seconds, preset, false), seconds);
        print(qPrintable(QStringLiteral("Backreel + libx264, %1").arg(what)),
              runOurs(display, seconds, preset, true), seconds);
        stopDrawing(drawer);
    }

    startDrawing(drawer, "moving");
    idleServerCpuPerSecond = measureIdleServer(idleSeconds);
    std::printf("X server (pid %d) drawing the moving content, nobody capturing: %.3f CPU s/s\n",
                static_cast<int>(xServer), idleServerCpuPerSecond);
    std::fflush(stdout);
    print("Backreel capture (frames counted)", runOurs(display, seconds, preset, false), seconds);
    print("Backreel capture + libx264", runOurs(display, seconds, preset, true), seconds);
    print("ffmpeg -f x11grab + libx264", runFfmpeg(seconds, preset), seconds);
    {
        const bench::CpuLoad load(QCoreApplication::applicationFilePath(), kLoadPercent);
        print("Backreel capture + libx264, under load", runOurs(display, seconds, preset, true), seconds);
        print("ffmpeg -f x11grab + libx264, under load", runFfmpeg(seconds, preset), seconds);
    }
    stopDrawing(drawer);
    return 0;
}
