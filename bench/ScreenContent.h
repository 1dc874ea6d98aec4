#pragma once

// Screen-like moving pictures for the encoder benchmarks: a tall page of text and pictures that
// scrolls, and the same page with a video playing in a window.

#include "core/media/ImageBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace backreel::bench {

enum class Content { scrollingPage, pageWithVideo };

// Frames of the given content and size. Scrolling-page frames are views into one shared page;
// video frames are made once per size, up front, and kept.
class ScreenSource {
public:
    ScreenSource(Content content, int width, int height);

    ImageBufferPtr frame(std::int64_t frameNumber) const;

    // The bytes of the scrolling page all scrolling-page sources share (made on the first frame
    // asked of any): memory a benchmark has that the recorder does not.
    static std::size_t pageBytes();

private:
    class PageWithVideo;

    Content content_;
    int width_;
    int height_;
    std::shared_ptr<const PageWithVideo> video_;
};

} // namespace backreel::bench
