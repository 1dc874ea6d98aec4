#include "platform/pixels/FrameClock.h"

#include <cmath>
#include <ctime>

namespace backreel::pixels {

std::int64_t nextFrameIndex(std::chrono::nanoseconds elapsed, std::chrono::nanoseconds interval) {
    if (interval.count() <= 0) {
        return 0;
    }
    if (elapsed.count() < 0) {
        return 0;
    }
    return elapsed.count() / interval.count() + 1;
}

std::chrono::nanoseconds frameIntervalOf(MediaTime frameInterval) {
    const double seconds = frameInterval.seconds();
    if (!frameInterval.isValid() || !(seconds > 0) || !std::isfinite(seconds)) {
        return std::chrono::nanoseconds(16'666'667);
    }
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(seconds * 1e9)));
}

MediaTime monotonicMediaTime(std::int64_t seconds, std::int64_t nanoseconds) {
    return MediaTime(seconds * kTimeScale + nanoseconds * kTimeScale / 1'000'000'000, kTimeScale);
}

MediaTime monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return monotonicMediaTime(now.tv_sec, now.tv_nsec);
}

} // namespace backreel::pixels
