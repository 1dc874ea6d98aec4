#include "platform/pulse/AudioTimeline.h"

#include <algorithm>
#include <time.h>

namespace backreel {

namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
} // namespace

std::int64_t monotonicFrames(std::int64_t seconds, std::int64_t nanoseconds, std::int32_t rate) {
    // Seconds and the fraction apart: nanoseconds since boot times the rate overflows 64 bits
    // after a few days of uptime.
    return seconds * rate + nanoseconds * rate / kNanosecondsPerSecond;
}

std::int64_t monotonicNowFrames(std::int32_t rate) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return monotonicFrames(now.tv_sec, now.tv_nsec, rate);
}

std::int64_t framesForMicroseconds(std::uint64_t microseconds, std::int32_t rate) {
    const auto micros = static_cast<std::int64_t>(microseconds);
    const std::int64_t whole = micros / kMicrosecondsPerSecond;
    const std::int64_t fraction = micros % kMicrosecondsPerSecond;
    return whole * rate + (fraction * rate + kMicrosecondsPerSecond / 2) / kMicrosecondsPerSecond;
}

std::int64_t estimateFirstFrameTime(std::int64_t nowFrames, std::int64_t queuedFrames,
                                    std::uint64_t serverDelayMicroseconds, std::int32_t rate) {
    return nowFrames - queuedFrames - framesForMicroseconds(serverDelayMicroseconds, rate);
}

AudioTimeline::Placement AudioTimeline::place(std::int64_t estimatedStart, std::int64_t frames) {
    Placement placement;
    if (next_) {
        placement.drift = estimatedStart - *next_;
    }
    if (next_ && placement.drift >= -toleranceFrames_ && placement.drift <= toleranceFrames_) {
        placement.start = *next_;
    } else {
        placement.start = previousStart_ ? std::max(estimatedStart, *previousStart_) : estimatedStart;
        placement.reanchored = next_.has_value();
    }
    previousStart_ = placement.start;
    next_ = placement.start + std::max<std::int64_t>(frames, 0);
    return placement;
}

} // namespace backreel
