#pragma once

#include <compare>
#include <cstdint>

namespace backreel {

// A rational time: value / timeScale seconds. The invalid time stands for "no time" (and, when a
// compression session is completed, for "every pending frame"); it has NaN seconds and any
// arithmetic with it yields the invalid time again.
class MediaTime {
public:
    constexpr MediaTime() = default; // invalid
    constexpr MediaTime(std::int64_t value, std::int32_t timeScale)
        : value_(value), timeScale_(timeScale), valid_(timeScale > 0) {}

    static constexpr MediaTime invalid() { return MediaTime(); }
    static MediaTime zero() { return MediaTime(0, 1); }
    // The nearest time at the given scale (halves away from zero); NaN gives the invalid time.
    static MediaTime makeWithSeconds(double seconds, std::int32_t timeScale);

    constexpr bool isValid() const { return valid_; }
    constexpr std::int64_t value() const { return value_; }
    constexpr std::int32_t timeScale() const { return timeScale_; }
    double seconds() const;

    friend MediaTime add(MediaTime lhs, MediaTime rhs);
    friend MediaTime subtract(MediaTime lhs, MediaTime rhs);
    // -1, 0 or 1. Invalid times compare equal to each other and below every valid time.
    friend int compare(MediaTime lhs, MediaTime rhs);

    friend MediaTime operator+(MediaTime lhs, MediaTime rhs) { return add(lhs, rhs); }
    friend MediaTime operator-(MediaTime lhs, MediaTime rhs) { return subtract(lhs, rhs); }
    friend bool operator==(MediaTime lhs, MediaTime rhs) { return compare(lhs, rhs) == 0; }
    friend std::strong_ordering operator<=>(MediaTime lhs, MediaTime rhs) { return compare(lhs, rhs) <=> 0; }

private:
    std::int64_t value_ = 0;
    std::int32_t timeScale_ = 0;
    bool valid_ = false;
};

// The time scale of every time value Backreel builds itself.
inline constexpr std::int32_t kTimeScale = 90000;

} // namespace backreel
