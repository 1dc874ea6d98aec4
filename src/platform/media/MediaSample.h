#pragma once

#include "platform/media/BlockBuffer.h"
#include "platform/media/FormatDescription.h"
#include "platform/media/ImageBuffer.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleAttachments.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace backreel {

struct SampleTimingInfo {
    MediaTime duration;
    MediaTime presentationTimeStamp;
    MediaTime decodeTimeStamp;
    friend bool operator==(const SampleTimingInfo&, const SampleTimingInfo&) = default;
};

// One buffer of an audio buffer list: the channels it carries and where its bytes are.
struct AudioBuffer {
    std::uint32_t numberChannels = 0;
    const std::byte* data = nullptr;
    std::size_t dataByteSize = 0;
};
using AudioBufferList = std::vector<AudioBuffer>;

class MediaSample;
using MediaSamplePtr = std::shared_ptr<const MediaSample>;

// A timed media sample: a screen frame (image buffer), a compressed frame or an audio buffer
// (data block buffer, or an audio buffer list whose bytes live in a block buffer). Samples are
// immutable once made and shared by reference between stores, clips and writers.
class MediaSample {
public:
    struct Parts {
        FormatDescriptionPtr formatDescription;
        BlockBufferPtr dataBuffer;
        ImageBufferPtr imageBuffer;
        // Audio delivered as separate per-channel buffers inside listBlock instead of a data buffer.
        std::optional<AudioBufferList> audioBufferList;
        BlockBufferPtr listBlock;
        std::int64_t numSamples = 1;
        std::vector<SampleTimingInfo> timing;
        std::vector<std::size_t> sizes;
        std::optional<SampleAttachments> attachments;
    };

    // Status codes of the operations below; 0 is success.
    static constexpr std::int32_t kArrayTooSmallStatus = -12737;
    static constexpr std::int32_t kRequiredParameterMissingStatus = -12731;
    static constexpr std::int32_t kBufferNotReadyStatus = -12738;

    static MediaSamplePtr make(Parts parts);

    // A sample made from a data block: the counterpart of the platform's sample creation call,
    // with a status instead of throwing.
    static std::int32_t create(BlockBufferPtr dataBuffer, bool dataReady, FormatDescriptionPtr format,
                               std::int64_t numSamples, std::vector<SampleTimingInfo> timing,
                               std::vector<std::size_t> sizes, MediaSamplePtr* result);

    MediaTime presentationTime() const;
    MediaTime duration() const;
    const FormatDescriptionPtr& formatDescription() const { return parts_.formatDescription; }
    std::int64_t numSamples() const { return parts_.numSamples; }
    const BlockBufferPtr& dataBuffer() const { return parts_.dataBuffer; }
    const ImageBufferPtr& imageBuffer() const { return parts_.imageBuffer; }
    // The attachments list, or none when the sample has none; never creates one.
    const SampleAttachments* sampleAttachments() const {
        return parts_.attachments ? &*parts_.attachments : nullptr;
    }

    // Timing and size entries, called once with out == nullptr for the count and again to fill.
    std::int32_t sampleTimingInfoArray(std::size_t capacity, SampleTimingInfo* out, std::size_t* countNeeded) const;
    std::int32_t sampleSizeArray(std::size_t capacity, std::size_t* out, std::size_t* countNeeded) const;

    // The audio buffer list: with list == nullptr only the size it needs (in bytes, as the
    // platform counts it) is reported; otherwise the list is filled and the block holding its bytes
    // is handed back retained. Works for samples with a data buffer too (one interleaved buffer).
    std::int32_t audioBufferListWithRetainedBlockBuffer(std::size_t* sizeNeeded, AudioBufferList* list,
                                                        std::size_t listSize, BlockBufferPtr* blockBuffer) const;

private:
    explicit MediaSample(Parts parts) : parts_(std::move(parts)) {}

    Parts parts_;
};

// A key frame (sync sample) unless the first attachment dictionary holds a NotSync entry that is
// the boolean true; no attachments, no dictionary or any other value all mean a key frame.
bool isSyncSample(const MediaSample& sample);

} // namespace backreel
