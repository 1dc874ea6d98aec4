#pragma once

// Checks on recorded audio: where a tone starts, its frequency and its level.

#include <cmath>
#include <cstddef>
#include <span>

namespace backreel::test {

// The first stretch of the given length that starts a little after the signal gets loud; empty
// when it never does.
inline std::span<const float> loudStretch(std::span<const float> signal, std::size_t length) {
    constexpr float kLoud = 0.1f;
    constexpr std::size_t kSettle = 2400; // 50 ms past the onset
    for (std::size_t i = 0; i < signal.size(); ++i) {
        if (std::fabs(signal[i]) > kLoud) {
            if (i + kSettle + length > signal.size()) {
                return {};
            }
            return signal.subspan(i + kSettle, length);
        }
    }
    return {};
}

// The frequency of a clean tone from its zero crossings.
inline double zeroCrossingFrequency(std::span<const float> signal, double rate) {
    int crossings = 0;
    for (std::size_t i = 1; i < signal.size(); ++i) {
        if ((signal[i - 1] < 0) != (signal[i] < 0)) {
            ++crossings;
        }
    }
    return crossings / 2.0 / (static_cast<double>(signal.size()) / rate);
}

// The root mean square of a signal: 0.707 of the peak for a sine.
inline double rootMeanSquare(std::span<const float> signal) {
    double sum = 0;
    for (const float value : signal) {
        sum += static_cast<double>(value) * value;
    }
    return signal.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(signal.size()));
}

} // namespace backreel::test
