#include "core/media/MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace backreel {

namespace {

__extension__ typedef __int128 Int128;

// Both times on a common scale: the least common multiple when it fits, otherwise the larger
// scale with the other value rounded to it.
struct Common {
    std::int64_t lhs;
    std::int64_t rhs;
    std::int32_t scale;
};

Common toCommonScale(MediaTime lhs, MediaTime rhs) {
    const std::int64_t a = lhs.timeScale();
    const std::int64_t b = rhs.timeScale();
    if (a == b) {
        return {lhs.value(), rhs.value(), lhs.timeScale()};
    }
    const std::int64_t lcm = std::lcm(a, b);
    Int128 left = static_cast<Int128>(lhs.value()) * (lcm / a);
    Int128 right = static_cast<Int128>(rhs.value()) * (lcm / b);
    constexpr auto maxValue = static_cast<Int128>(std::numeric_limits<std::int64_t>::max());
    if (lcm <= std::numeric_limits<std::int32_t>::max() && left <= maxValue && left >= -maxValue &&
        right <= maxValue && right >= -maxValue) {
        return {static_cast<std::int64_t>(left), static_cast<std::int64_t>(right),
                static_cast<std::int32_t>(lcm)};
    }
    const std::int32_t scale = a > b ? lhs.timeScale() : rhs.timeScale();
    const auto rescale = [scale](MediaTime t) {
        return static_cast<std::int64_t>(std::llround(static_cast<double>(t.value()) * scale / t.timeScale()));
    };
    return {rescale(lhs), rescale(rhs), scale};
}

} // namespace

MediaTime MediaTime::makeWithSeconds(double seconds, std::int32_t timeScale) {
    if (!std::isfinite(seconds) || timeScale <= 0) {
        return invalid();
    }
    return MediaTime(static_cast<std::int64_t>(std::llround(seconds * timeScale)), timeScale);
}

double MediaTime::seconds() const {
    if (!valid_) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return static_cast<double>(value_) / static_cast<double>(timeScale_);
}

MediaTime add(MediaTime lhs, MediaTime rhs) {
    if (!lhs.isValid() || !rhs.isValid()) {
        return MediaTime::invalid();
    }
    const Common c = toCommonScale(lhs, rhs);
    return MediaTime(c.lhs + c.rhs, c.scale);
}

MediaTime subtract(MediaTime lhs, MediaTime rhs) {
    if (!lhs.isValid() || !rhs.isValid()) {
        return MediaTime::invalid();
    }
    const Common c = toCommonScale(lhs, rhs);
    return MediaTime(c.lhs - c.rhs, c.scale);
}

int compare(MediaTime lhs, MediaTime rhs) {
    if (!lhs.isValid() || !rhs.isValid()) {
        return static_cast<int>(lhs.isValid()) - static_cast<int>(rhs.isValid());
    }
    const auto left = static_cast<Int128>(lhs.value()) * rhs.timeScale();
    const auto right = static_cast<Int128>(rhs.value()) * lhs.timeScale();
    return left < right ? -1 : (left > right ? 1 : 0);
}

} // namespace backreel
