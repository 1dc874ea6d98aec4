#include "capture/RecordingDuration.h"

namespace backreel {

std::optional<RecordingDuration> RecordingDuration::fromRawValue(int rawValue) {
    for (Value value : allCases()) {
        if (value == rawValue) {
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

} // namespace backreel
