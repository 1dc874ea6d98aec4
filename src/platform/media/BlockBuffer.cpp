#include "platform/media/BlockBuffer.h"

#include <algorithm>
#include <cstring>

namespace backreel {

BlockBuffer::BlockBuffer(std::vector<Segment> segments) : segments_(std::move(segments)) {
    std::erase_if(segments_, [](const Segment& segment) { return segment.length == 0; });
    for (const Segment& segment : segments_) {
        dataLength_ += segment.length;
    }
}

BlockBufferPtr BlockBuffer::fromSegments(std::vector<Segment> segments) {
    return BlockBufferPtr(new BlockBuffer(std::move(segments)));
}

BlockBufferPtr BlockBuffer::fromBytes(std::vector<std::byte> bytes) {
    auto owner = std::make_shared<std::vector<std::byte>>(std::move(bytes));
    Segment segment{owner, owner->data(), owner->size()};
    return fromSegments({std::move(segment)});
}

BlockBufferPtr BlockBuffer::copyOf(std::span<const std::byte> bytes) {
    return fromBytes(std::vector<std::byte>(bytes.begin(), bytes.end()));
}

std::int32_t BlockBuffer::dataPointer(std::size_t offset, std::size_t* lengthAtOffset, std::size_t* totalLength,
                                      const std::byte** pointer) const {
    if (totalLength != nullptr) {
        *totalLength = dataLength_;
    }
    std::size_t start = 0;
    for (const Segment& segment : segments_) {
        if (offset < start + segment.length) {
            if (pointer != nullptr) {
                *pointer = segment.data + (offset - start);
            }
            if (lengthAtOffset != nullptr) {
                *lengthAtOffset = segment.length - (offset - start);
            }
            return 0;
        }
        start += segment.length;
    }
    return kBadOffsetStatus;
}

std::int32_t BlockBuffer::copyDataBytes(std::size_t offset, std::span<std::byte> destination) const {
    if (offset > dataLength_ || destination.size() > dataLength_ - offset) {
        return kBadLengthStatus;
    }
    std::size_t start = 0;
    std::size_t written = 0;
    for (const Segment& segment : segments_) {
        const std::size_t end = start + segment.length;
        const std::size_t from = offset + written;
        if (written < destination.size() && from < end) {
            const std::size_t count = std::min(end - from, destination.size() - written);
            std::memcpy(destination.data() + written, segment.data + (from - start), count);
            written += count;
        }
        start = end;
    }
    return 0;
}

std::int32_t BlockBuffer::createContiguous(const BlockBuffer& source, std::size_t offset, std::size_t length,
                                           std::uint32_t flags, BlockBufferPtr* result) {
    if (result == nullptr) {
        return kBadLengthStatus;
    }
    *result = nullptr;
    if (length == 0) {
        return kEmptyBlockStatus;
    }
    if (offset > source.dataLength_ || length > source.dataLength_ - offset) {
        return kBadLengthStatus;
    }
    if ((flags & kAlwaysCopyDataFlag) == 0) {
        std::size_t available = 0;
        const std::byte* pointer = nullptr;
        if (source.dataPointer(offset, &available, nullptr, &pointer) == 0 && available >= length) {
            std::size_t start = 0;
            for (const Segment& segment : source.segments_) {
                if (pointer >= segment.data && pointer < segment.data + segment.length) {
                    *result = fromSegments({Segment{segment.owner, pointer, length}});
                    return 0;
                }
                start += segment.length;
            }
        }
    }
    std::vector<std::byte> bytes(length);
    const std::int32_t status = source.copyDataBytes(offset, bytes);
    if (status != 0) {
        return status;
    }
    *result = fromBytes(std::move(bytes));
    return 0;
}

} // namespace backreel
