#include "capture/MemoryLimit.h"

#include <cmath>

namespace backreel {

namespace {
// One decimal, without a trailing ".0".
QString oneDecimal(double value) {
    const double rounded = std::round(value * 10) / 10;
    return rounded == std::floor(rounded) ? QString::number(static_cast<std::int64_t>(rounded))
                                          : QString::number(rounded, 'f', 1);
}
} // namespace

QString MemoryLimit::label() const {
    for (MemoryLimit choice : choices()) {
        if (choice == *this) {
            return bytes_ < 1024 * kMebibyte ? QStringLiteral("%1 MB").arg(bytes_ / kMebibyte)
                                             : QStringLiteral("%1 GB").arg(bytes_ / (1024 * kMebibyte));
        }
    }
    return decimalSize(bytes_);
}

QString decimalSize(std::int64_t bytes) {
    const auto value = static_cast<double>(bytes);
    if (value >= 999.5e6) {
        return QStringLiteral("%1 GB").arg(oneDecimal(value / 1e9));
    }
    if (value >= 9.95e6) {
        return QStringLiteral("%1 MB").arg(std::llround(value / 1e6));
    }
    if (value >= 999.5e3) {
        return QStringLiteral("%1 MB").arg(oneDecimal(value / 1e6));
    }
    return QStringLiteral("%1 kB").arg(std::llround(value / 1e3));
}

std::int64_t estimatedBufferBytes(RecordingDuration duration, std::int64_t videoBitsPerSecond, int sounds) {
    const double perSecond =
        static_cast<double>(videoBitsPerSecond) / 8 + static_cast<double>(kAudioBytesPerSecond * sounds);
    return std::llround(perSecond * duration.bufferCapacity());
}

QString bufferEstimateText(RecordingDuration duration, std::int64_t videoBitsPerSecond, MemoryLimit limit,
                           int sounds) {
    const std::int64_t bytes = estimatedBufferBytes(duration, videoBitsPerSecond, sounds);
    const QString text = QStringLiteral("up to %1 for %2 at %3 Mbit/s")
                             .arg(decimalSize(bytes), duration.label(),
                                  oneDecimal(static_cast<double>(videoBitsPerSecond) / 1e6));
    if (bytes > limit.bytes()) {
        return text +
               QStringLiteral(" — more than the %1 limit; the oldest seconds go first").arg(limit.label());
    }
    return text + QStringLiteral(", usually less");
}

QString memoryLimitNote(double heldSeconds) {
    return QStringLiteral("memory limit: the buffer holds only %1 s").arg(std::llround(heldSeconds));
}

} // namespace backreel
