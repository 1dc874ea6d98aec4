// Real-time encoding of moving 1920×1080 content at 30 frames per second through the recorder's
// video encoder, once per libx264 preset: CPU time per second of video, frames dropped,
// and SSIM of the decoded frames against the pictures that went in.
//
// With --crf N[,N...], each preset also at each constant quality N (libx264's CRF) capped at the same
// 20 Mbit/s, beside the fixed rate.
//
//   build/bench/encode [--crf N[,N...]] [preset...]        (default: ultrafast superfast veryfast faster)

#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "RecorderEncoder.h"
#include "ScreenContent.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace backreel;
using backreel::bench::Content;
using backreel::bench::ScreenSource;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFramesPerSecond = 30;
constexpr int kSeconds = 10;
constexpr std::int64_t kFrameTicks = kTimeScale / kFramesPerSecond;

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Everything the encoder delivers: packets by frame number, and the frames it lost.
struct Outputs {
    std::mutex mutex;
    std::map<std::int64_t, VideoPacket> packets;
    int errors = 0;

    EncoderOutput output() {
        return EncoderOutput{[this](const VideoPacket& packet) {
                                 std::lock_guard lock(mutex);
                                 packets[packet.presentationTime.value() / kFrameTicks] = packet;
                             },
                             [this](const EncoderError&) {
                                 std::lock_guard lock(mutex);
                                 ++errors;
                             }};
    }
};

// Luma (BT.601 weights) of a BGRA picture.
std::vector<double> lumaOf(const ImageBuffer& picture) {
    std::vector<double> luma(static_cast<std::size_t>(picture.width()) *
                             static_cast<std::size_t>(picture.height()));
    for (int y = 0; y < picture.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(picture.baseAddress()) +
                          static_cast<std::size_t>(y) * picture.bytesPerRow();
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* pixel = row + 4 * x;
            luma[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width()) +
                 static_cast<std::size_t>(x)] = 0.114 * pixel[0] + 0.587 * pixel[1] + 0.299 * pixel[2];
        }
    }
    return luma;
}

// Mean SSIM of the luma over 8×8 windows (non-overlapping), the constants of the original paper.
double ssim(const ImageBuffer& reference, const ImageBuffer& decoded) {
    const std::vector<double> a = lumaOf(reference);
    const std::vector<double> b = lumaOf(decoded);
    const int width = reference.width();
    constexpr double c1 = (0.01 * 255) * (0.01 * 255);
    constexpr double c2 = (0.03 * 255) * (0.03 * 255);
    constexpr int kWindow = 8;
    double total = 0;
    int windows = 0;
    for (int top = 0; top + kWindow <= reference.height(); top += kWindow) {
        for (int left = 0; left + kWindow <= width; left += kWindow) {
            double sumA = 0, sumB = 0, sumAA = 0, sumBB = 0, sumAB = 0;
            for (int y = top; y < top + kWindow; ++y) {
                for (int x = left; x < left + kWindow; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                           static_cast<std::size_t>(x);
                    sumA += a[at];
                    sumB += b[at];
                    sumAA += a[at] * a[at];
                    sumBB += b[at] * b[at];
                    sumAB += a[at] * b[at];
                }
            }
            constexpr double n = kWindow * kWindow;
            const double meanA = sumA / n;
            const double meanB = sumB / n;
            const double varianceA = sumAA / n - meanA * meanA;
            const double varianceB = sumBB / n - meanB * meanB;
            const double covariance = sumAB / n - meanA * meanB;
            total += ((2 * meanA * meanB + c1) * (2 * covariance + c2)) /
                     ((meanA * meanA + meanB * meanB + c1) * (varianceA + varianceB + c2));
            ++windows;
        }
    }
    return windows == 0 ? 1.0 : total / windows;
}

void run(const std::string& preset, Content content, const char* contentName, int quality) {
    const ScreenSource source(content, kWidth, kHeight);
    source.frame(0); // the page is drawn on first use, which must not delay the first frames
    Outputs outputs;
    auto encoder = bench::recorderEncoder(preset, kWidth, kHeight, outputs.output(), kFramesPerSecond, quality);
    if (!encoder) {
        std::printf("%-10s %-14s libx264 did not open\n", preset.c_str(), contentName);
        return;
    }
    constexpr int kFrames = kFramesPerSecond * kSeconds;
    const double processBefore = cpuSeconds(RUSAGE_SELF);
    const double callerBefore = cpuSeconds(RUSAGE_THREAD);
    const auto start = std::chrono::steady_clock::now();
    for (int index = 0; index < kFrames; ++index) {
        std::this_thread::sleep_until(start +
                                      std::chrono::microseconds(index * 1'000'000LL / kFramesPerSecond));
        encoder->encode({source.frame(index), MediaTime(index * kFrameTicks, kTimeScale),
                         MediaTime(kFrameTicks, kTimeScale)});
    }
    encoder->finish();
    const double caller = cpuSeconds(RUSAGE_THREAD) - callerBefore;
    const double process = cpuSeconds(RUSAGE_SELF) - processBefore;

    std::lock_guard lock(outputs.mutex);
    std::size_t bytes = 0;
    double ssimTotal = 0;
    double ssimLowest = 1;
    int decoded = 0;
    if (auto decoder = FfmpegFrameDecoder::create(encoder->format())) {
        for (const auto& [index, packet] : outputs.packets) {
            bytes += packet.data.size();
            if (Expected<ImageBufferPtr> picture = decoder->decode(packet); picture && picture.value()) {
                const double value = ssim(*source.frame(index), *picture.value());
                ssimTotal += value;
                ssimLowest = std::min(ssimLowest, value);
                ++decoded;
            }
        }
    }
    const std::string rate = quality > 0 ? "crf " + std::to_string(quality) : "20M";
    std::printf("%-10s %-7s %-14s %8.3f %8.3f %8.3f %7zu %7lld %7d %8.4f %8.4f %7.2f %s\n", preset.c_str(),
                rate.c_str(), contentName, process / kSeconds, (process - caller) / kSeconds, caller / kSeconds,
                outputs.packets.size(), static_cast<long long>(encoder->droppedFrames()), outputs.errors,
                decoded > 0 ? ssimTotal / decoded : 0.0, ssimLowest,
                static_cast<double>(bytes) * 8 / kSeconds / 1e6, encoder->encoderName());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> presets;
    std::vector<int> qualities{0};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--crf" && i + 1 < argc) {
            std::string list = argv[++i];
            for (std::size_t at = 0; at != std::string::npos;) {
                const std::size_t comma = list.find(',', at);
                qualities.push_back(std::stoi(list.substr(at, comma == std::string::npos ? comma : comma - at)));
                at = comma == std::string::npos ? comma : comma + 1;
            }
        } else {
            presets.push_back(argument);
        }
    }
    if (presets.empty()) {
        presets = {"ultrafast", "superfast", "veryfast", "faster"};
    }
    std::printf("%d s of %d×%d at %d fps, 20 Mbit/s, a key frame every 0.5 s; CPU in seconds per second "
                "of video\n",
                kSeconds, kWidth, kHeight, kFramesPerSecond);
    std::printf("%-10s %-7s %-14s %8s %8s %8s %7s %7s %7s %8s %8s %7s %s\n", "preset", "rate", "content", "cpu/s",
                "encoder", "caller", "frames", "dropped", "errors", "ssim", "ssim-min", "Mbit/s", "codec");
    for (const std::string& preset : presets) {
        for (const int quality : qualities) {
            run(preset, Content::scrollingPage, "scrolling-page", quality);
            run(preset, Content::pageWithVideo, "page+video", quality);
        }
    }
    return 0;
}
