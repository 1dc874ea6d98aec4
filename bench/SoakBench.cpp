// Hours of buffering: does memory stay flat once the buffer is full, and does every clip saved
// along the way hold up? Moving 1920×1080 content (the scrolling page of the encoder benchmarks)
// is fed in real time, 30 frames and 100 pieces of sound (a tone, 10 ms of 48 kHz stereo float,
// compressed to AAC as they come) a second, through the recorder's capture output into its encoder
// and its 3-minute stores (under
// the default memory limit), as a recording would be. Every few minutes, and at the end, the
// newest 3 minutes are cut and written as a movie, as a save does, without stopping the
// recording; the movie is read back with the movie probe and removed. The resident set size is
// printed every minute, with what it holds beyond the stores' bytes; the source page (65 MB of
// pixels the frames are cut from) counts there too, and only the benchmark has it.
//
//   build/bench/soak [MINUTES] [--save-every MINUTES] [--folder DIR] [--limit MB]
//                   (defaults: 60 minutes, a save every 10, into /tmp, the default limit; a limit
//                    in decimal megabytes below ~520 makes the buffer trim to it all the time)
//
// It passes when every clip validates and, after minute 5, the resident set stays within ±5 %
// of its mean; the exit status says which.

#include "capture/FramePipeline.h"
#include "capture/MediaStores.h"
#include "capture/RecordingDuration.h"
#include "capture/VideoCompression.h"
#include "core/MemoryTuning.h"
#include "export/ClipSelection.h"
#include "export/MovieWriter.h"
#include "platform/ffmpeg/FfmpegAudioCodec.h"
#include "platform/ffmpeg/FfmpegMovieFile.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegVideoEncoder.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "ScreenContent.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <numeric>
#include <QCoreApplication>
#include <QCoroTask>
#include <QCoroTimer>
#include <QFile>
#include <QFileInfo>
#include <string>
#include <thread>
#include <vector>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFramesPerSecond = 30;
constexpr int kAudioRate = 48000;
constexpr int kAudioFramesPerChunk = 480;
constexpr RecordingDuration kDuration = RecordingDuration::threeMinutes;
constexpr int kSteadyAfterMinute = 5;
constexpr double kSteadyTolerance = 0.05;
constexpr double kDurationTolerance = 0.15;

struct Options {
    int minutes = 60;
    int saveEvery = 10;
    QString folder = QStringLiteral("/tmp");
    MemoryLimit limit = MemoryLimit::defaultLimit();
};

std::optional<Options> parse(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        bool ok = true;
        if (arguments[i] == QStringLiteral("--save-every") && i + 1 < arguments.size()) {
            options.saveEvery = arguments[++i].toInt(&ok);
        } else if (arguments[i] == QStringLiteral("--folder") && i + 1 < arguments.size()) {
            options.folder = arguments[++i];
        } else if (arguments[i] == QStringLiteral("--limit") && i + 1 < arguments.size()) {
            const int megabytes = arguments[++i].toInt(&ok);
            ok = ok && megabytes > 0;
            options.limit = MemoryLimit(std::int64_t{megabytes} * 1'000'000);
        } else {
            options.minutes = arguments[i].toInt(&ok);
        }
        if (!ok || options.minutes < 1 || options.saveEvery < 1) {
            return std::nullopt;
        }
    }
    return options;
}

long residentKibibytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

double mebibytes(long kibibytes) {
    return static_cast<double>(kibibytes) / 1024.0;
}

double megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

double mebibytesOf(std::size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Frames (into the recorder's frame pipeline) and audio (copied into the store, as a recording's
// sound is) on their own thread, in real time, with time stamps on one clock that starts at zero.
// Behind schedule (a busy machine) it catches up at once, as a capture that had waited would.
class Feeder {
public:
    Feeder(FramePipeline& pipeline, MediaStores& stores, const bench::ScreenSource& source)
        : thread_([this, &pipeline, &stores, &source] { run(pipeline, stores, source); }) {}
    ~Feeder() { stop(); }

    void stop() {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::int64_t frames() const { return frames_.load(); }

private:
    void run(FramePipeline& pipeline, MediaStores& stores, const bench::ScreenSource& source) {
        std::vector<float> tone(2 * kAudioFramesPerChunk);
        // The sound is compressed here, on the thread that hands it over, as the recording does.
        const std::unique_ptr<AudioEncoder> encoder =
            FfmpegAudioCodecService().encoder(AudioStreamFormat{}, AudioOrigin::system).value();
        std::vector<AudioPacket> packets;
        const auto start = std::chrono::steady_clock::now();
        std::int64_t frame = 0;
        std::int64_t chunk = 0;
        while (!stopping_) {
            const auto frameDue = start + std::chrono::microseconds(frame * 1'000'000 / kFramesPerSecond);
            const auto chunkDue =
                start + std::chrono::microseconds(chunk * kAudioFramesPerChunk * 1'000'000 / kAudioRate);
            std::this_thread::sleep_until(std::min(frameDue, chunkDue));
            if (frameDue <= chunkDue) {
                pipeline.takeFrame(VideoFrame{source.frame(frame), MediaTime(frame, kFramesPerSecond),
                                              MediaTime(1, kFramesPerSecond)});
                frames_ = ++frame;
            } else {
                for (int i = 0; i < kAudioFramesPerChunk; ++i) {
                    const double t = static_cast<double>(chunk * kAudioFramesPerChunk + i) / kAudioRate;
                    tone[static_cast<std::size_t>(2 * i)] = tone[static_cast<std::size_t>(2 * i + 1)] =
                        static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 440.0 * t));
                }
                if (!encoder->encode(
                        AudioView{tone, 2, kAudioRate, MediaTime(chunk * kAudioFramesPerChunk, kAudioRate)},
                        packets)) {
                    for (AudioPacket& packet : packets) {
                        stores.appendAudio(std::move(packet));
                    }
                }
                packets.clear();
                ++chunk;
            }
        }
    }

    std::atomic<bool> stopping_{false};
    std::atomic<std::int64_t> frames_{0};
    std::thread thread_;
};

// Cuts the newest 3 minutes, writes them as a save does, and checks the movie with the probe: one
// video and one audio track, as long as the clip (the sound may reach 0.1 s past the last picture,
// and a packet more). Whether it held up.
QCoro::Task<bool> saveAndValidate(int number, const MediaStores& stores, const Options& options,
                                  const Logger& log) {
    const std::vector<VideoPacket> video = stores.video()->snapshot();
    const std::vector<AudioPacket> audio = stores.audio()->snapshot();
    ClipSelection selection = selectClip(video, audio, kDuration.seconds(), log);
    if (const QString* message = std::get_if<QString>(&selection)) {
        std::printf("  clip %d: no clip: %s\n", number, qPrintable(*message));
        co_return false;
    }
    Clip clip = std::get<Clip>(std::move(selection));
    const double clipSeconds =
        subtract(clip.endPTS, clip.startPTS).seconds() + 1.0 / kFramesPerSecond; // the last frame lasts too
    const std::size_t frames = clip.video.size();
    const QString path = options.folder + QStringLiteral("/backreel-soak-%1.mp4").arg(number);
    const MovieWriterServices services{std::make_shared<FfmpegMovieFileService>(),
                                       std::make_shared<FfmpegMovieProbe>(), nullptr};
    const auto started = std::chrono::steady_clock::now();
    QCoro::Task<MaybeError> writing =
        writeMovie(std::move(clip.video), std::move(clip.audio), path, services, log);
    const MaybeError error = co_await writing;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(path);
    const double fileMegabytes = static_cast<double>(QFileInfo(path).size()) / 1e6;
    QFile::remove(path);

    if (error) {
        std::printf("  clip %d: save failed: %s\n", number, qPrintable(error->description));
        co_return false;
    }
    if (!info) {
        std::printf("  clip %d: the probe failed: %s\n", number, qPrintable(info.error().description));
        co_return false;
    }
    const bool valid = info.value().videoTrackCount == 1 && info.value().audioTrackCount == 1 &&
                       std::abs(info.value().durationSeconds - clipSeconds) <= kDurationTolerance;
    std::printf("  clip %d: %.2f s, %zu frames, written in %.1f s (%.0f MB); probe: %.2f s, %zu video + %zu "
                "audio tracks: %s\n",
                number, clipSeconds, frames, took.count(), fileMegabytes, info.value().durationSeconds,
                info.value().videoTrackCount, info.value().audioTrackCount, valid ? "valid" : "INVALID");
    co_return valid;
}

QCoro::Task<int> soak(Options options) {
    const Logger log = Logger::recording();
    const std::shared_ptr<MediaStores> stores =
        MediaStores::create(kDuration.bufferCapacity(), options.limit, log);
    FfmpegVideoEncoderService service;
    Expected<std::shared_ptr<VideoEncoder>> opened =
        openRecordingEncoder(service, kWidth, kHeight, stores, log);
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().description));
        co_return 2;
    }
    const std::shared_ptr<VideoEncoder> encoder = opened.value();
    FramePipeline pipeline(encoder, log);
    // A busy machine shows here: frames the encoder could not keep up with.
    const auto* ffmpegEncoder = dynamic_cast<const FfmpegVideoEncoder*>(encoder.get());
    const bench::ScreenSource source(bench::Content::scrollingPage, kWidth, kHeight);
    source.frame(0); // the page is drawn before the clock starts

    std::printf(
        "soak: %d min of 1920×1080 at 30 fps + 48 kHz stereo, 3-minute buffer, limit %s, a clip every "
        "%d min\n",
        options.minutes, qPrintable(options.limit.label()), options.saveEvery);
    std::printf(
        "minute   RSS MiB   held MB (video + audio)   beyond held MiB   frames fed / in the store / dropped by "
        "the encoder\n");
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    Feeder feeder(pipeline, *stores, source);
    std::vector<double> steady;
    std::vector<double> steadyBeyond;
    int clips = 0;
    int validClips = 0;
    for (int minute = 1; minute <= options.minutes; ++minute) {
        QCoro::Task<> waiting = QCoro::sleepUntil(start + std::chrono::minutes(minute));
        co_await waiting;
        const long rss = residentKibibytes();
        const std::size_t videoBytes = stores->video()->bytes();
        const std::size_t audioBytes = stores->audio()->bytes();
        const double beyond = mebibytes(rss) - mebibytesOf(videoBytes + audioBytes);
        std::printf("%6d   %7.1f   %7.1f (%.1f + %.1f)   %7.1f   %lld / %zu / %lld\n", minute, mebibytes(rss),
                    megabytes(videoBytes + audioBytes), megabytes(videoBytes), megabytes(audioBytes), beyond,
                    static_cast<long long>(feeder.frames()), stores->video()->count(),
                    static_cast<long long>(ffmpegEncoder != nullptr ? ffmpegEncoder->droppedFrames() : -1));
        std::fflush(stdout);
        if (minute > kSteadyAfterMinute) {
            steady.push_back(mebibytes(rss));
            steadyBeyond.push_back(beyond);
        }
        if (minute % options.saveEvery == 0 || minute == options.minutes) {
            QCoro::Task<bool> saving = saveAndValidate(++clips, *stores, options, log);
            validClips += (co_await saving) ? 1 : 0;
            std::fflush(stdout);
        }
    }
    feeder.stop();
    encoder->close();

    bool steadyOk = true;
    if (!steady.empty()) {
        const double mean =
            std::accumulate(steady.begin(), steady.end(), 0.0) / static_cast<double>(steady.size());
        const auto [low, high] = std::minmax_element(steady.begin(), steady.end());
        const double spread = std::max(mean - *low, *high - mean) / mean;
        steadyOk = spread <= kSteadyTolerance;
        std::printf("RSS after minute %d: %.1f–%.1f MiB, mean %.1f, at most %.1f %% from it (%s)\n",
                    kSteadyAfterMinute, *low, *high, mean, 100 * spread, steadyOk ? "steady" : "NOT STEADY");
        const auto [fewest, most] = std::minmax_element(steadyBeyond.begin(), steadyBeyond.end());
        const double page = mebibytesOf(bench::ScreenSource::pageBytes());
        std::printf("beyond the held bytes after minute %d: %.1f–%.1f MiB, %.1f–%.1f without the %.1f MiB source "
                    "page\n",
                    kSteadyAfterMinute, *fewest, *most, *fewest - page, *most - page, page);
    } else {
        std::printf("RSS: no minute after minute %d to judge\n", kSteadyAfterMinute);
    }
    std::printf("clips: %d of %d valid; the limit %s\n", validClips, clips,
                stores->limitReached() ? "trimmed" : "never trimmed");
    co_return (steadyOk && validClips == clips) ? 0 : 1;
}

// Only errors and the buffer's own lines: a save logs a dozen lines of its own.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && (type != QtInfoMsg || message.startsWith(QStringLiteral("[Buffer]")))) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // As the program sets its allocator up, unless asked to keep the C library's defaults.
    const bool allocatorDefaults = argc > 1 && std::string(argv[argc - 1]) == "--allocator-defaults";
    if (!allocatorDefaults) {
        tuneAllocator();
    } else {
        --argc;
    }
    QCoreApplication application(argc, argv);
    const std::optional<Options> options = parse(QCoreApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "usage: soak [MINUTES] [--save-every MINUTES] [--folder DIR] [--limit MB] "
                             "[--allocator-defaults]\n");
        return 2;
    }
    qInstallMessageHandler(quietMessages);
    QCoro::Task<int> run = soak(*options);
    return QCoro::waitFor(std::move(run));
}
