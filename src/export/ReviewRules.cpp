#include "export/ReviewRules.h"

#include <algorithm>
#include <cmath>

namespace backreel {

std::size_t pictureAt(const std::vector<VideoPacket>& video, MediaTime time) {
    const auto after = std::upper_bound(video.begin(), video.end(), time, [](MediaTime t, const VideoPacket& p) {
        return compare(t, p.presentationTime) < 0;
    });
    return after == video.begin() ? 0 : static_cast<std::size_t>(after - video.begin()) - 1;
}

std::size_t keyFrameAtOrBefore(const std::vector<VideoPacket>& video, std::size_t index) {
    if (video.empty()) {
        return 0;
    }
    for (std::size_t i = std::min(index, video.size() - 1) + 1; i-- > 0;) {
        if (video[i].keyFrame) {
            return i;
        }
    }
    const auto first = std::find_if(video.begin(), video.end(), [](const VideoPacket& p) { return p.keyFrame; });
    return first == video.end() ? 0 : static_cast<std::size_t>(first - video.begin());
}

std::size_t stepPicture(const std::vector<VideoPacket>& video, std::size_t index, int steps) {
    if (video.empty()) {
        return 0;
    }
    const auto last = static_cast<std::ptrdiff_t>(video.size()) - 1;
    return static_cast<std::size_t>(std::clamp(static_cast<std::ptrdiff_t>(index) + steps, std::ptrdiff_t{0}, last));
}

MediaTime reviewStart(const std::vector<VideoPacket>& video) {
    return video.empty() ? MediaTime::zero() : video.front().presentationTime;
}

MediaTime reviewEnd(const std::vector<VideoPacket>& video) {
    if (video.empty()) {
        return MediaTime::zero();
    }
    const VideoPacket& last = video.back();
    return last.duration.isValid() ? last.presentationTime + last.duration : last.presentationTime;
}

ReviewSelection wholeSelection(const std::vector<VideoPacket>& video) {
    return {keyFrameAtOrBefore(video, 0), video.empty() ? 0 : video.size() - 1};
}

ReviewSelection withIn(const std::vector<VideoPacket>& video, ReviewSelection selection, std::size_t index) {
    selection.in = keyFrameAtOrBefore(video, index);
    if (selection.out < selection.in) {
        selection.out = video.empty() ? 0 : video.size() - 1;
    }
    return selection;
}

ReviewSelection withOut(const std::vector<VideoPacket>& video, ReviewSelection selection, std::size_t index) {
    selection.out = video.empty() ? 0 : std::min(index, video.size() - 1);
    if (selection.in > selection.out) {
        selection.in = keyFrameAtOrBefore(video, selection.out);
    }
    return selection;
}

MediaTime selectionLength(const std::vector<VideoPacket>& video, ReviewSelection selection) {
    if (video.empty() || selection.out >= video.size() || selection.in > selection.out) {
        return MediaTime::zero();
    }
    const VideoPacket& out = video[selection.out];
    const MediaTime end = out.duration.isValid() ? out.presentationTime + out.duration : out.presentationTime;
    return end - video[selection.in].presentationTime;
}

std::vector<std::size_t> thumbnailPictures(const std::vector<VideoPacket>& video, int count) {
    std::vector<std::size_t> pictures;
    if (video.empty() || count <= 0) {
        return pictures;
    }
    const double start = reviewStart(video).seconds();
    const double span = reviewEnd(video).seconds() - start;
    for (int slot = 0; slot < count; ++slot) {
        const double middle = start + span * (slot + 0.5) / count;
        pictures.push_back(keyFrameAtOrBefore(video, pictureAt(video, MediaTime::makeWithSeconds(middle, kTimeScale))));
    }
    return pictures;
}

std::vector<float> waveformPeaks(const std::vector<AudioPacket>& audio, AudioOrigin origin, MediaTime from,
                                 MediaTime to, int columns) {
    std::vector<float> peaks(static_cast<std::size_t>(std::max(columns, 0)), 0.0F);
    const double start = from.seconds();
    const double span = to.seconds() - start;
    if (peaks.empty() || !(span > 0)) {
        return peaks;
    }
    const auto count = static_cast<double>(peaks.size());
    for (const AudioPacket& packet : audio) {
        const double begins = (packet.presentationTime.seconds() - start) / span * count;
        const double ends = (packet.endTime().seconds() - start) / span * count;
        if (packet.origin != origin || !(ends > 0) || !(begins < count)) {
            continue;
        }
        // Every slice the packet's sound touches.
        const auto first = static_cast<std::size_t>(std::max(begins, 0.0));
        const auto last = static_cast<std::size_t>(std::min(std::ceil(ends), count));
        for (std::size_t column = first; column < std::max(last, first + 1) && column < peaks.size();
             ++column) {
            peaks[column] = std::max(peaks[column], std::min(packet.peak, 1.0F));
        }
    }
    return peaks;
}

QString reviewTimeText(MediaTime offset) {
    const auto tenths = std::max<std::int64_t>(0, std::llround(offset.isValid() ? offset.seconds() * 10 : 0.0));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

} // namespace backreel
