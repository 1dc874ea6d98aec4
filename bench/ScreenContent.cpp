#include "ScreenContent.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <utility>

namespace backreel::bench {

namespace {

constexpr int kLargestWidth = 2560;
constexpr int kLargestHeight = 1440;

// A tall page of screen content: a soft gradient, lines of text-like glyph blocks and a few
// photo-like noisy panels. Frames are windows into it that scroll down and sideways, so every
// frame differs from the last the way a scrolled web page or editor does.
class ScrollingPage {
public:
    static constexpr int kPageWidth = kLargestWidth + 256;
    static constexpr int kPageHeight = 4 * kLargestHeight;

    ScrollingPage()
        : pixels_(std::make_shared<std::vector<std::byte>>(kStride * static_cast<std::size_t>(kPageHeight))) {
        std::mt19937 random(7);
        auto* page = reinterpret_cast<std::uint8_t*>(pixels_->data());
        auto at = [page](int x, int y) {
            return page + static_cast<std::size_t>(y) * kStride + static_cast<std::size_t>(x) * 4;
        };
        for (int y = 0; y < kPageHeight; ++y) {
            for (int x = 0; x < kPageWidth; ++x) {
                std::uint8_t* pixel = at(x, y);
                pixel[0] = static_cast<std::uint8_t>(220 + (x >> 6) % 30);
                pixel[1] = static_cast<std::uint8_t>(225 + (y >> 7) % 25);
                pixel[2] = static_cast<std::uint8_t>(230);
                pixel[3] = 255;
            }
        }
        // Text: 8×14 glyph cells, each a random pattern of dark strokes, on 20-pixel lines.
        std::bernoulli_distribution ink(0.35);
        for (int line = 40; line + 14 < kPageHeight; line += 20) {
            const int lineLength = 400 + static_cast<int>(random() % 1800);
            for (int x = 60; x < 60 + lineLength; ++x) {
                const int column = x % 8;
                for (int y = line; y < line + 14; ++y) {
                    if (column < 6 && ink(random)) {
                        std::uint8_t* pixel = at(x, y);
                        pixel[0] = pixel[1] = pixel[2] = 30;
                    }
                }
            }
        }
        // Photo-like panels: smooth colour with noise.
        std::uniform_int_distribution<int> noise(-12, 12);
        for (int panel = 0; panel < 8; ++panel) {
            const int top = 300 + panel * 650;
            const int left = 900 + (panel % 3) * 200;
            for (int y = top; y < top + 360; ++y) {
                for (int x = left; x < left + 640; ++x) {
                    std::uint8_t* pixel = at(x, y);
                    pixel[0] =
                        static_cast<std::uint8_t>(std::clamp(((x - left) / 3) + noise(random), 0, 255));
                    pixel[1] = static_cast<std::uint8_t>(std::clamp(((y - top) / 2) + noise(random), 0, 255));
                    pixel[2] =
                        static_cast<std::uint8_t>(std::clamp(128 + panel * 15 + noise(random), 0, 255));
                }
            }
        }
    }

    // The frameNumber-th screen of the given size: 6 lines down and 2 pixels across per frame.
    ImageBufferPtr frame(int width, int height, std::int64_t frameNumber) const {
        const std::int64_t top = (frameNumber * 6) % (kPageHeight - height);
        const std::int64_t left = (frameNumber * 2) % (kPageWidth - width);
        std::byte* origin =
            pixels_->data() + static_cast<std::size_t>(top) * kStride + static_cast<std::size_t>(left) * 4;
        return ImageBuffer::wrap(pixels_, origin, width, height, kStride);
    }

    static constexpr std::size_t bytes() { return kStride * static_cast<std::size_t>(kPageHeight); }

private:
    static constexpr std::size_t kStride = static_cast<std::size_t>(kPageWidth) * 4;
    std::shared_ptr<std::vector<std::byte>> pixels_;
};

const ScrollingPage& page() {
    static const ScrollingPage instance;
    return instance;
}

} // namespace

// The scrolling page with a video playing in a window half the screen's size: the video's pixels
// are new in every frame (a moving pattern under grain), which motion search cannot predict well.
// The harder of the two loads; its frames are made once per size, up front.
class ScreenSource::PageWithVideo {
public:
    static constexpr int kFrameCount = 24;

    PageWithVideo(int width, int height) {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> grain(-20, 20);
        const int videoLeft = width / 5;
        const int videoTop = height / 5;
        for (int index = 0; index < kFrameCount; ++index) {
            const ImageBufferPtr view = page().frame(width, height, index);
            ImageBufferPtr frame = ImageBuffer::allocate(width, height);
            for (int y = 0; y < height; ++y) {
                std::memcpy(frame->mutableBaseAddress() + static_cast<std::size_t>(y) * frame->bytesPerRow(),
                            view->baseAddress() + static_cast<std::size_t>(y) * view->bytesPerRow(),
                            frame->bytesPerRow());
            }
            auto* pixels = reinterpret_cast<std::uint8_t*>(frame->mutableBaseAddress());
            for (int y = videoTop; y < videoTop + height / 2; ++y) {
                for (int x = videoLeft; x < videoLeft + width / 2; ++x) {
                    std::uint8_t* pixel = pixels + static_cast<std::size_t>(y) * frame->bytesPerRow() +
                                          static_cast<std::size_t>(x) * 4;
                    const int wave = ((x + index * 9) ^ (y - index * 5)) & 0xFF;
                    pixel[0] = static_cast<std::uint8_t>(std::clamp(wave / 2 + grain(random) + 40, 0, 255));
                    pixel[1] =
                        static_cast<std::uint8_t>(std::clamp((y * 255 / height) + grain(random), 0, 255));
                    pixel[2] = static_cast<std::uint8_t>(std::clamp(255 - wave + grain(random), 0, 255));
                }
            }
            frames_.push_back(std::move(frame));
        }
    }

    ImageBufferPtr frame(std::int64_t frameNumber) const {
        return frames_[static_cast<std::size_t>(frameNumber % kFrameCount)];
    }

private:
    std::vector<ImageBufferPtr> frames_;
};

ScreenSource::ScreenSource(Content content, int width, int height)
    : content_(content)
    , width_(width)
    , height_(height) {
    if (content == Content::pageWithVideo) {
        static std::map<std::pair<int, int>, std::shared_ptr<const PageWithVideo>> videos;
        auto& video = videos[{width, height}];
        if (!video) {
            video = std::make_shared<const PageWithVideo>(width, height);
        }
        video_ = video;
    }
}

std::size_t ScreenSource::pageBytes() {
    return ScrollingPage::bytes();
}

ImageBufferPtr ScreenSource::frame(std::int64_t frameNumber) const {
    return content_ == Content::scrollingPage ? page().frame(width_, height_, frameNumber)
                                              : video_->frame(frameNumber);
}

} // namespace backreel::bench
