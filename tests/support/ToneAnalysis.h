#pragma once

// Checks on recorded or decoded audio: where a tone starts, its pitch and its level.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <span>
#include <vector>

namespace backreel::test {

// The index of the first sample whose magnitude reaches the threshold; the size when none does.
inline std::size_t firstLoud(std::span<const float> signal, float threshold) {
    return static_cast<std::size_t>(
        std::ranges::find_if(signal, [&](float value) { return std::fabs(value) >= threshold; }) -
        signal.begin());
}

// The stretch of this length from 50 ms (at 48 kHz) after the signal gets loud; empty if it cannot.
inline std::span<const float> loudStretch(std::span<const float> signal, std::size_t length) {
    const std::size_t start = firstLoud(signal, 0.1f) + 2400;
    return start + length <= signal.size() ? signal.subspan(start, length) : std::span<const float>();
}

// The pitch of a tone of more than 0.2 peak: swings from -0.2 to +0.2 a second.
inline double frequencyOf(std::span<const float> signal, double rate) {
    std::vector<std::size_t> rises;
    bool low = false;
    for (std::size_t index = 0; index < signal.size(); ++index) {
        low = low || signal[index] < -0.2f;
        if (low && signal[index] > 0.2f) {
            low = false;
            rises.push_back(index);
        }
    }
    return rises.size() < 2 ? 0.0
                            : static_cast<double>(rises.size() - 1) * rate /
                                  static_cast<double>(rises.back() - rises.front());
}

// The root mean square of a signal: 0.707 of the peak for a sine.
inline double rootMeanSquare(std::span<const float> signal) {
    const double sum = std::inner_product(signal.begin(), signal.end(), signal.begin(), 0.0);
    return signal.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(signal.size()));
}

} // namespace backreel::test
