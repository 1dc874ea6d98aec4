#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace backreel {

// A four-character code such as "avc1", "hvc1" or "aac ", packed big-endian as the file formats do.
struct FourCC {
    std::uint32_t value = 0;

    constexpr FourCC() = default;
    constexpr explicit FourCC(std::uint32_t packed) : value(packed) {}
    constexpr FourCC(const char (&text)[5])
        : value(static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
                static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
                static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
                static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]))) {}

    std::string toString() const {
        std::string text(4, ' ');
        for (int i = 0; i < 4; ++i) {
            text[static_cast<std::size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
        }
        return text;
    }

    friend constexpr bool operator==(FourCC, FourCC) = default;
};

namespace codec {
inline constexpr FourCC hevc{"hvc1"};
inline constexpr FourCC h264{"avc1"};
inline constexpr FourCC linearPCM{"lpcm"};
inline constexpr FourCC aac{"aac "};
inline constexpr FourCC bgra{"BGRA"};
} // namespace codec

} // namespace backreel
