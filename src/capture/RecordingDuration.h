#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <QString>
#include <vector>

namespace backreel {

// How much of the past is kept and saved.
class RecordingDuration {
public:
    enum Value { tenSeconds = 10, thirtySeconds = 30, oneMinute = 60, threeMinutes = 180 };

    constexpr RecordingDuration(Value value)
        : value_(value) {}
    // None for any raw value other than 10, 30, 60 and 180.
    static std::optional<RecordingDuration> fromWholeSeconds(int seconds);
    static constexpr std::array<Value, 4> allCases() {
        return {tenSeconds, thirtySeconds, oneMinute, threeMinutes};
    }

    constexpr int wholeSeconds() const { return value_; }
    constexpr int id() const { return value_; }
    QString label() const;
    // The clip length asked for, in seconds.
    constexpr double seconds() const { return static_cast<double>(value_); }
    // What the stores keep: the target plus 0.75 s, so a clip can start on a key frame at or
    // before the target.
    constexpr double bufferCapacity() const { return seconds() + 0.75; }

    constexpr Value value() const { return value_; }
    friend constexpr bool operator==(RecordingDuration, RecordingDuration) = default;

private:
    Value value_;
};

// How long a Save Clip is: the asked length, at most the buffer's duration; the duration itself
// when none (or nothing above zero) is asked for.
double clipLengthSeconds(std::optional<std::chrono::seconds> asked, RecordingDuration buffer);

// The lengths "Save Last…" offers for a buffer: every duration up to its own, shortest first.
std::vector<RecordingDuration> saveLastLengths(RecordingDuration buffer);

} // namespace backreel
