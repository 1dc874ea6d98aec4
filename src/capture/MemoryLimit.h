#pragma once

#include "capture/RecordingDuration.h"

#include <array>
#include <cstdint>
#include <QString>

namespace backreel {

// How many bytes a recording's stores may hold together: compressed video and the copied audio.
// The picker offers 512 MB to 8 GB; its values are binary (the "2 GB" limit is 2 GiB) and labelled
// as the user picks them.
class MemoryLimit {
public:
    static constexpr std::int64_t kMebibyte = 1024 * 1024;

    // The default limit.
    constexpr MemoryLimit()
        : MemoryLimit(defaultLimit()) {}
    explicit constexpr MemoryLimit(std::int64_t bytes)
        : bytes_(bytes) {}
    static constexpr MemoryLimit defaultLimit() { return MemoryLimit(2048 * kMebibyte); }
    // The picker's values, smallest first.
    static constexpr std::array<MemoryLimit, 5> choices() {
        return {MemoryLimit(512 * kMebibyte), MemoryLimit(1024 * kMebibyte), MemoryLimit(2048 * kMebibyte),
                MemoryLimit(4096 * kMebibyte), MemoryLimit(8192 * kMebibyte)};
    }

    constexpr std::int64_t bytes() const { return bytes_; }
    // "512 MB", "1 GB", "2 GB", "4 GB", "8 GB" for the picker's values; any other limit as
    // decimalSize() gives it.
    QString label() const;

    friend constexpr bool operator==(MemoryLimit, MemoryLimit) = default;

private:
    std::int64_t bytes_;
};

// What the stores take per second of a sound: AAC at 192 kbit/s, as the capture compresses stereo.
inline constexpr std::int64_t kAudioBytesPerSecond = 192000 / 8;

// A size in decimal units, as file managers show them: "840 kB", "1.2 MB", "521 MB", "4.5 GB"
// (one decimal below 10 MB and in gigabytes, never a trailing ".0").
QString decimalSize(std::int64_t bytes);

// What a buffer of `duration` holds with video at `videoBitsPerSecond` and this many sounds (the
// system's, and the microphone's when it is recorded): the stores keep the buffer capacity (the
// duration and a little more).
std::int64_t estimatedBufferBytes(RecordingDuration duration, std::int64_t videoBitsPerSecond, int sounds = 1);

// The main window's line under the duration: "up to 456 MB for 3 min at 20 Mbit/s, usually less",
// since the rate is a ceiling that only fast-moving pictures reach, and when that passes the limit
// "up to 4.5 GB for 3 min at 200 Mbit/s — more than the 2 GB limit; the oldest seconds go first".
QString bufferEstimateText(RecordingDuration duration, std::int64_t videoBitsPerSecond, MemoryLimit limit,
                           int sounds = 1);

// The status line's note once the limit trims: "memory limit: the buffer holds only N s".
QString memoryLimitNote(double heldSeconds);

} // namespace backreel
