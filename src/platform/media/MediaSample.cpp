#include "platform/media/MediaSample.h"

#include <algorithm>

namespace backreel {

namespace {
constexpr std::size_t kAudioBufferRecordSize = 16; // channels, byte size and data pointer
constexpr std::size_t kAudioBufferListHeaderSize = 8;

std::size_t listBytes(std::size_t buffers) {
    return kAudioBufferListHeaderSize + buffers * kAudioBufferRecordSize;
}
} // namespace

MediaSamplePtr MediaSample::make(Parts parts) {
    return MediaSamplePtr(new MediaSample(std::move(parts)));
}

std::int32_t MediaSample::create(BlockBufferPtr dataBuffer, bool dataReady, FormatDescriptionPtr format,
                                 std::int64_t numSamples, std::vector<SampleTimingInfo> timing,
                                 std::vector<std::size_t> sizes, MediaSamplePtr* result) {
    if (result == nullptr || numSamples < 0) {
        return kRequiredParameterMissingStatus;
    }
    *result = nullptr;
    if (!dataReady) {
        return kBufferNotReadyStatus;
    }
    Parts parts;
    parts.formatDescription = std::move(format);
    parts.dataBuffer = std::move(dataBuffer);
    parts.numSamples = numSamples;
    parts.timing = std::move(timing);
    parts.sizes = std::move(sizes);
    *result = make(std::move(parts));
    return 0;
}

MediaTime MediaSample::presentationTime() const {
    return parts_.timing.empty() ? MediaTime::invalid() : parts_.timing.front().presentationTimeStamp;
}

MediaTime MediaSample::duration() const {
    if (parts_.timing.empty()) {
        return MediaTime::invalid();
    }
    if (parts_.timing.size() == 1) {
        // One entry describes every sample of the buffer.
        const MediaTime each = parts_.timing.front().duration;
        if (!each.isValid()) {
            return each;
        }
        return MediaTime(each.value() * std::max<std::int64_t>(parts_.numSamples, 1), each.timeScale());
    }
    MediaTime total = MediaTime::zero();
    for (const SampleTimingInfo& entry : parts_.timing) {
        total = add(total, entry.duration);
    }
    return total;
}

std::int32_t MediaSample::sampleTimingInfoArray(std::size_t capacity, SampleTimingInfo* out,
                                                std::size_t* countNeeded) const {
    if (countNeeded != nullptr) {
        *countNeeded = parts_.timing.size();
    }
    if (out == nullptr) {
        return 0;
    }
    if (capacity < parts_.timing.size()) {
        return kArrayTooSmallStatus;
    }
    std::copy(parts_.timing.begin(), parts_.timing.end(), out);
    return 0;
}

std::int32_t MediaSample::sampleSizeArray(std::size_t capacity, std::size_t* out, std::size_t* countNeeded) const {
    if (countNeeded != nullptr) {
        *countNeeded = parts_.sizes.size();
    }
    if (out == nullptr) {
        return 0;
    }
    if (capacity < parts_.sizes.size()) {
        return kArrayTooSmallStatus;
    }
    std::copy(parts_.sizes.begin(), parts_.sizes.end(), out);
    return 0;
}

std::int32_t MediaSample::audioBufferListWithRetainedBlockBuffer(std::size_t* sizeNeeded, AudioBufferList* list,
                                                                 std::size_t listSize,
                                                                 BlockBufferPtr* blockBuffer) const {
    const AudioStreamBasicDescription* asbd =
        parts_.formatDescription ? parts_.formatDescription->streamBasicDescription() : nullptr;
    if (asbd == nullptr) {
        return kRequiredParameterMissingStatus;
    }
    AudioBufferList buffers;
    BlockBufferPtr block;
    if (parts_.audioBufferList) {
        buffers = *parts_.audioBufferList;
        block = parts_.listBlock;
    } else if (parts_.dataBuffer) {
        // A contiguous view of the data buffer as one interleaved buffer.
        block = parts_.dataBuffer;
        if (block->dataLength() > 0 && !block->isContiguous()) {
            if (BlockBuffer::createContiguous(*block, 0, block->dataLength(), 0, &block) != 0) {
                return kRequiredParameterMissingStatus;
            }
        }
        const std::byte* pointer = nullptr;
        if (block->dataLength() > 0) {
            block->dataPointer(0, nullptr, nullptr, &pointer);
        }
        buffers.push_back(AudioBuffer{asbd->channelsPerFrame, pointer, block->dataLength()});
    } else {
        return kRequiredParameterMissingStatus;
    }
    if (sizeNeeded != nullptr) {
        *sizeNeeded = listBytes(buffers.size());
    }
    if (list == nullptr) {
        return 0;
    }
    if (listSize < listBytes(buffers.size())) {
        return kArrayTooSmallStatus;
    }
    *list = std::move(buffers);
    if (blockBuffer != nullptr) {
        *blockBuffer = std::move(block);
    }
    return 0;
}

bool isSyncSample(const MediaSample& sample) {
    const SampleAttachments* attachments = sample.sampleAttachments();
    if (attachments == nullptr || attachments->empty() || !attachments->front().dictionary) {
        return true;
    }
    const AttachmentDictionary& first = *attachments->front().dictionary;
    const auto entry = first.find(attachment::kNotSync);
    if (entry == first.end()) {
        return true;
    }
    const bool* notSync = std::get_if<bool>(&entry->second);
    return notSync == nullptr || !*notSync;
}

} // namespace backreel
