#pragma once

#include "capture/CaptureTarget.h"
#include "platform/CaptureService.h"
#include "platform/ContentFilter.h"
#include "platform/ShareableContent.h"
#include "platform/VideoSource.h"

#include <cstdint>
#include <optional>

namespace backreel {

// A capture dimension: rounded to the nearest integer (halves away from zero), then down to an
// even number, at least 2. Encoders need even sizes.
std::int32_t evenDimension(double value);

// The resolved form of a capture target: what the stream shows and at which size.
struct ResolvedCapture {
    ContentFilter filter;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::optional<QRectF> sourceRect; // region targets only
};

// Resolves a target against the shareable content. A display target without a display takes the
// main display, else the first one; none when the content has no display at all. Display and
// region targets leave out this application's windows unless includeBackreelWindow is set.
std::optional<ResolvedCapture> resolveCapture(const CaptureTarget& target, bool includeBackreelWindow,
                                              const ShareableContent& content, std::uint32_t mainDisplayID);

// The main display of the content: the one with mainDisplayID, else the first; none when empty.
std::optional<Display> mainDisplayOf(const std::vector<Display>& displays, std::uint32_t mainDisplayID);

// What a desktop that chooses in its own dialog is asked for, for a target.
ContentKind contentKindOf(const CaptureTarget& target);

// The target as the desktop's dialog chose it: a display target takes the chosen display, a window
// target the chosen window, a region target keeps its rectangle on the chosen display. Unchanged
// when the content holds nothing of the kind.
CaptureTarget targetInChosenContent(const CaptureTarget& target, const ShareableContent& chosen);

// At most 30 pictures a second; a region is cut out at its size, anything else scaled to fit.
VideoSourceSettings videoSourceSettings(const ResolvedCapture& capture, int frameRate = 30);

} // namespace backreel
