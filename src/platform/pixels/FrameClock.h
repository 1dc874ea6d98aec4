#pragma once

#include "core/media/MediaTime.h"

#include <chrono>
#include <cstdint>

// The capture backends' clock: frame pacing and time stamps on CLOCK_MONOTONIC, the clock the
// audio shares.
namespace backreel::pixels {

// Frame pacing on a steady clock: frame n is due at start + n * interval. After a frame taken at
// `elapsed` since the start, the next one is the first tick strictly later; ticks in between are
// skipped rather than caught up, so a late frame never makes the following ones come in a burst.
std::int64_t nextFrameIndex(std::chrono::nanoseconds elapsed, std::chrono::nanoseconds interval);

// The frame interval of a source in nanoseconds; 1/60 s when the interval is invalid or not
// positive.
std::chrono::nanoseconds frameIntervalOf(MediaTime frameInterval);

// A CLOCK_MONOTONIC reading (seconds, nanoseconds) as a 90 kHz media time.
MediaTime monotonicMediaTime(std::int64_t seconds, std::int64_t nanoseconds);
MediaTime monotonicNow();

} // namespace backreel::pixels
