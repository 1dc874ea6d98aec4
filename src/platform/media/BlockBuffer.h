#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace backreel {

class BlockBuffer;
using BlockBufferPtr = std::shared_ptr<const BlockBuffer>;

// A run of bytes made of one or more segments. Each segment keeps its owner alive (a vector, an
// FFmpeg packet buffer, a capture backend's memory), so wrapping producer memory never copies it.
class BlockBuffer {
public:
    struct Segment {
        std::shared_ptr<const void> owner;
        const std::byte* data = nullptr;
        std::size_t length = 0;
    };

    // Flag for createContiguous(): copy the bytes even when the source is already contiguous.
    static constexpr std::uint32_t kAlwaysCopyDataFlag = 2;

    // Status codes returned by the operations below; 0 is success.
    static constexpr std::int32_t kBadOffsetStatus = -12702;
    static constexpr std::int32_t kBadLengthStatus = -12703;
    static constexpr std::int32_t kEmptyBlockStatus = -12705;

    static BlockBufferPtr fromSegments(std::vector<Segment> segments);
    // Takes ownership of the bytes.
    static BlockBufferPtr fromBytes(std::vector<std::byte> bytes);
    // A copy of the given bytes.
    static BlockBufferPtr copyOf(std::span<const std::byte> bytes);

    std::size_t dataLength() const { return dataLength_; }
    const std::vector<Segment>& segments() const { return segments_; }
    bool isContiguous() const { return segments_.size() <= 1; }

    // The pointer to the byte at offset, with the number of bytes that follow it in the same
    // segment; fails with kBadOffsetStatus past the end.
    std::int32_t dataPointer(std::size_t offset, std::size_t* lengthAtOffset, std::size_t* totalLength,
                             const std::byte** pointer) const;

    // A contiguous buffer with the bytes [offset, offset + length) of source. With
    // kAlwaysCopyDataFlag the result owns a fresh copy; otherwise a contiguous source range is shared.
    static std::int32_t createContiguous(const BlockBuffer& source, std::size_t offset, std::size_t length,
                                         std::uint32_t flags, BlockBufferPtr* result);

    // Copies [offset, offset + destination.size()) into destination; fails past the end.
    std::int32_t copyDataBytes(std::size_t offset, std::span<std::byte> destination) const;

private:
    explicit BlockBuffer(std::vector<Segment> segments);

    std::vector<Segment> segments_;
    std::size_t dataLength_ = 0;
};

} // namespace backreel
