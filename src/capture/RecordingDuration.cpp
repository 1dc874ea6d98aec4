#include "capture/RecordingDuration.h"

#include <algorithm>

namespace backreel {

std::optional<RecordingDuration> RecordingDuration::fromWholeSeconds(int seconds) {
    for (Value value : allCases()) {
        if (value == seconds) {
            return RecordingDuration(value);
        }
    }
    return std::nullopt;
}

QString RecordingDuration::label() const {
    switch (value_) {
    case tenSeconds:
        return QStringLiteral("10 sec");
    case thirtySeconds:
        return QStringLiteral("30 sec");
    case oneMinute:
        return QStringLiteral("1 min");
    case threeMinutes:
        return QStringLiteral("3 min");
    }
    return {};
}

double clipLengthSeconds(std::optional<std::chrono::seconds> asked, RecordingDuration buffer) {
    if (!asked || asked->count() <= 0) {
        return buffer.seconds();
    }
    return std::min(static_cast<double>(asked->count()), buffer.seconds());
}

std::vector<RecordingDuration> saveLastLengths(RecordingDuration buffer) {
    std::vector<RecordingDuration> lengths;
    for (RecordingDuration::Value length : RecordingDuration::allCases()) {
        if (length <= buffer.value()) {
            lengths.emplace_back(length);
        }
    }
    return lengths;
}

} // namespace backreel
