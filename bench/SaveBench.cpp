// How long "Stop & Save" takes for the longest clip, and how much memory writing it needs on top of
// the clip itself: a 180.75 s clip of 1080p H.264 at 20 Mbit/s (30 fps, a key frame every 15) with
// 48 kHz stereo sound, compressed to AAC beforehand as buffering does, goes through the save flow's
// writer and the FFmpeg backend into /tmp (or the folder given as the first argument).
//
// The packets are made-up payloads (a start code, a slice header byte, random bytes): the writer
// passes video through unchanged, so only their sizes matter; the stream format (with its
// parameter sets) comes from the recorder's encoder opened at 1920×1080. Audio is a tone with a
// little noise, so the AAC encoder works as it does on real sound.

#include "export/MovieWriter.h"
#include "platform/ffmpeg/FfmpegAudioCodec.h"
#include "platform/ffmpeg/FfmpegMovieFile.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <QCoreApplication>
#include <QCoroTask>
#include <QFile>
#include <QFileInfo>
#include <span>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace backreel;

namespace {

constexpr double kClipSeconds = 180.75;
constexpr int kFramesPerSecond = 30;
constexpr std::int64_t kBitsPerSecond = 20'000'000;
constexpr int kKeyFrameInterval = 15;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kAudioRate = 48000;
constexpr int kAudioFramesPerBuffer = 480;
const MediaTime kFirstVideoPts = MediaTime::makeWithSeconds(5123.4, kTimeScale);

// A line of /proc/self/status in kibibytes ("VmRSS", "VmHWM").
long statusKibibytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::stol(line.substr(prefix.size()));
        }
    }
    return -1;
}

// User plus system time of the whole process so far, in seconds: on a busy machine the wall time
// alone says little.
double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double mebibytes(long kibibytes) {
    return static_cast<double>(kibibytes) / 1024.0;
}

// The stream format the recorder's encoder gives at 1080p.
VideoStreamFormatPtr h264Format() {
    VideoEncoderSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.averageBitRate = kBitsPerSecond;
    settings.maxKeyFrameInterval = kKeyFrameInterval;
    auto opened = FfmpegVideoEncoderService().open(settings, EncoderOutput{});
    if (!opened) {
        return nullptr;
    }
    auto format = std::make_shared<const VideoStreamFormat>(opened.value()->format());
    opened.value()->close();
    return format;
}

// xorshift64*: fast enough to fill half a gigabyte in well under a second.
class Random {
public:
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 2685821657736338717ULL;
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

std::vector<VideoPacket> makeVideo(const VideoStreamFormatPtr& format) {
    const auto frames = static_cast<int>(std::llround(kClipSeconds * kFramesPerSecond));
    const std::size_t averageBytes = kBitsPerSecond / 8 / kFramesPerSecond;
    const MediaTime frameLength(kTimeScale / kFramesPerSecond, kTimeScale);
    Random random;
    std::vector<VideoPacket> packets;
    packets.reserve(static_cast<std::size_t>(frames));
    for (int index = 0; index < frames; ++index) {
        const bool key = index % kKeyFrameInterval == 0;
        // Key frames four times the size of the others, 20 Mbit/s on average.
        const std::size_t bytes = key ? averageBytes * 60 / 18 : averageBytes * 15 / 18;
        auto payload = std::make_shared<std::vector<std::byte>>(bytes);
        for (std::size_t at = 0; at + 8 <= bytes; at += 8) {
            const std::uint64_t word = random.next() | 0x0101010101010101ULL; // no zero bytes: no start codes
            std::memcpy(payload->data() + at, &word, 8);
        }
        (*payload)[0] = (*payload)[1] = (*payload)[2] = std::byte{0};
        (*payload)[3] = std::byte{1};
        (*payload)[4] = key ? std::byte{0x65} : std::byte{0x41};
        const std::span<const std::byte> data(*payload);
        packets.push_back(VideoPacket{std::move(payload), data,
                                      kFirstVideoPts + MediaTime(index * frameLength.value(), kTimeScale),
                                      frameLength, key, format});
    }
    return packets;
}

std::vector<AudioChunk> makeAudio() {
    // The clip's audio reaches 0.1 s either side of the video, as clip selection cuts it.
    const MediaTime first = kFirstVideoPts - MediaTime(kTimeScale / 10, kTimeScale);
    const auto buffers =
        static_cast<int>(std::llround((kClipSeconds + 0.2) * kAudioRate / kAudioFramesPerBuffer));
    Random random;
    std::vector<AudioChunk> chunks;
    chunks.reserve(static_cast<std::size_t>(buffers));
    for (int buffer = 0; buffer < buffers; ++buffer) {
        auto values = std::make_shared<std::vector<float>>(2 * kAudioFramesPerBuffer);
        for (int frame = 0; frame < kAudioFramesPerBuffer; ++frame) {
            const double t = static_cast<double>(buffer * kAudioFramesPerBuffer + frame) / kAudioRate;
            const double noise =
                static_cast<double>(random.next() >> 40) / static_cast<double>(1 << 24) - 0.5;
            const auto value =
                static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 440.0 * t) + 0.05 * noise);
            (*values)[static_cast<std::size_t>(2 * frame)] = value;
            (*values)[static_cast<std::size_t>(2 * frame + 1)] = value;
        }
        const MediaTime pts =
            first + MediaTime(static_cast<std::int64_t>(buffer) * kAudioFramesPerBuffer, kAudioRate);
        chunks.push_back(AudioChunk{std::move(values), 2, kAudioRate, pts});
    }
    return chunks;
}

// The save's log lines on standard error, each with the seconds since the save began, so the
// phases (writing, validating) show.
std::chrono::steady_clock::time_point saveStarted = std::chrono::steady_clock::now();

void timedMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    const std::chrono::duration<double> since = std::chrono::steady_clock::now() - saveStarted;
    std::fprintf(stderr, "%7.3f %s\n", since.count(), qPrintable(message));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const VideoStreamFormatPtr format = h264Format();
    if (!format) {
        std::fprintf(stderr, "the H.264 encoder did not open at %dx%d\n", kWidth, kHeight);
        return 1;
    }

    const long before = statusKibibytes("VmRSS");
    std::vector<VideoPacket> video = makeVideo(format);
    // The sound compressed as the recording does it while buffering, before the save.
    std::vector<AudioPacket> audio;
    {
        const auto encodeStarted = std::chrono::steady_clock::now();
        const std::unique_ptr<AudioEncoder> encoder =
            FfmpegAudioCodecService().encoder(AudioStreamFormat{}, AudioOrigin::system).value();
        for (const AudioChunk& chunk : makeAudio()) {
            if (encoder->encode({chunk.view(), chunk.channels, chunk.sampleRate, chunk.presentationTime},
                                audio)) {
                return 1;
            }
        }
        if (encoder->flush(audio)) {
            return 1;
        }
        std::erase_if(audio, [](const AudioPacket& packet) { return !reachesInto(packet, kFirstVideoPts); });
        const std::chrono::duration<double> encoding = std::chrono::steady_clock::now() - encodeStarted;
        std::printf("sound compressed beforehand (as while buffering): %.3f s for %zu packets\n",
                    encoding.count(), audio.size());
    }
    const long withClip = statusKibibytes("VmRSS");
    // Resets the peak (VmHWM) to the present size, so the peak below is the writer's alone.
    std::ofstream("/proc/self/clear_refs") << "5";

    // The folder to write into may be given (e.g. /dev/shm, to leave the disk out); /tmp otherwise.
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const QString path = folder + QStringLiteral("/backreel-save-bench.mp4");
    const std::size_t frames = video.size();
    const std::size_t buffers = audio.size();
    std::size_t soundBytes = 0;
    for (const AudioPacket& packet : audio) {
        soundBytes += packet.data->size();
    }
    MovieWriterServices services{std::make_shared<FfmpegMovieFileService>(),
                                 std::make_shared<FfmpegMovieProbe>(),
                                 std::make_shared<FfmpegAudioCodecService>()};
    const auto started = std::chrono::steady_clock::now();
    saveStarted = started;
    qInstallMessageHandler(timedMessage);
    const double processorBefore = processorSeconds();
    QCoro::Task<MaybeError> writing =
        writeMovie(std::move(video), std::move(audio), path, services, Logger::recording());
    const MaybeError error = QCoro::waitFor(std::move(writing));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    const double processor = processorSeconds() - processorBefore;
    const long peak = statusKibibytes("VmHWM");

    if (error) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(error->description));
        QFile::remove(path);
        return 1;
    }
    std::printf("clip: %zu frames + %zu audio packets (%.2f MB of sound), %.1f MiB in memory\n", frames,
                buffers, static_cast<double>(soundBytes) / 1e6, mebibytes(withClip - before));
    std::printf("movie: %.1f MiB\n", static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0));
    std::printf("save: %.2f s wall, %.2f s processor time, peak RSS %.1f MiB beyond the clip\n",
                elapsed.count(), processor, mebibytes(peak - withClip));
    QFile::remove(path);
    return 0;
}
