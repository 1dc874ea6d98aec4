#pragma once

// Checks on recorded audio: the power at one frequency, where a tone starts, its frequency.

#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

namespace backreel::test {

// The power of one frequency in a signal (the Goertzel algorithm), normalised by its length.
inline double tonePower(std::span<const float> signal, double frequency, double rate) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
    double previous = 0;
    double beforePrevious = 0;
    for (const float value : signal) {
        const double current = value + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return power / static_cast<double>(signal.size() * signal.size());
}

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

} // namespace backreel::test
