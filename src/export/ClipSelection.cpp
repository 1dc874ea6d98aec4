#include "export/ClipSelection.h"

namespace backreel {

namespace {
constexpr std::size_t kMinimumVideoSamples = 2;
const MediaTime kAudioMargin = MediaTime::makeWithSeconds(0.1, kTimeScale);
} // namespace

std::size_t findStartIndex(const std::vector<VideoPacket>& video, double targetSeconds, const Logger& log) {
    if (video.empty()) {
        return 0;
    }
    const MediaTime targetStart =
        subtract(video.back().presentationTime, MediaTime::makeWithSeconds(targetSeconds, kTimeScale));

    bool found = false;
    std::size_t latest = 0;
    for (std::size_t i = 0; i < video.size(); ++i) {
        if (compare(video[i].presentationTime, targetStart) > 0) {
            break;
        }
        if (video[i].keyFrame) {
            latest = i;
            found = true;
        }
    }
    if (found) {
        log.info(QStringLiteral("[startIndex] Pass1 found keyframe at idx=%1 (buffer longer than target)")
                     .arg(latest));
        return latest;
    }

    for (std::size_t i = 0; i < video.size(); ++i) {
        if (video[i].keyFrame) {
            log.info(
                QStringLiteral(
                    "[startIndex] Pass2 fallback: buffer shorter than target, using first keyframe at idx=%1")
                    .arg(i));
            return i;
        }
    }
    log.error(QStringLiteral("[startIndex] No keyframe found at all — returning 0"));
    return 0;
}

ClipSelection selectClip(const std::vector<VideoPacket>& video, const std::vector<AudioPacket>& audio,
                         double targetSeconds, const Logger& log) {
    if (audio.empty()) {
        log.error(QStringLiteral(
            "[Stop] Audio ring: EMPTY — audio callbacks may not have fired or storage failed"));
    } else {
        log.info(QStringLiteral("[Stop] Audio ring: %1 packets, PTS %2s–%3s")
                     .arg(audio.size())
                     .arg(fixed(audio.front().presentationTime.seconds(), 3))
                     .arg(fixed(audio.back().presentationTime.seconds(), 3)));
    }

    const double span =
        video.empty() ? 0.0
                      : video.back().presentationTime.seconds() - video.front().presentationTime.seconds();
    log.info(
        QStringLiteral("[Stop] Buffer: %1 video frames (span=%2s)").arg(video.size()).arg(fixed(span, 2)));

    if (video.size() < kMinimumVideoSamples) {
        log.error(QStringLiteral("[Stop] Not enough video frames (%1)").arg(video.size()));
        return video.empty() ? QStringLiteral("No frames were captured.")
                             : QStringLiteral("Recording too short — try again.");
    }

    const std::size_t startIndex = findStartIndex(video, targetSeconds, log);
    const std::size_t candidates = video.size() - startIndex;
    log.info(QStringLiteral("[Stop] startIndex=%1 → %2 candidate frames before keyframe trim")
                 .arg(startIndex)
                 .arg(candidates));

    std::size_t offset = candidates;
    for (std::size_t f = 0; f < candidates; ++f) {
        if (video[startIndex + f].keyFrame) {
            offset = f;
            break;
        }
    }
    if (offset == candidates) {
        log.error(QStringLiteral("[Stop] No keyframe found in candidate frames — aborting"));
        return QStringLiteral("No keyframe found — recording too short.");
    }
    if (offset >= 1) {
        log.info(QStringLiteral("[Stop] First keyframe at offset %1; trimming %1 leading non-keyframe(s)")
                     .arg(offset));
    }

    Clip clip;
    const auto first = video.begin() + static_cast<std::ptrdiff_t>(startIndex + offset);
    clip.video.assign(first, video.end());
    clip.startPTS = clip.video.front().presentationTime;
    clip.endPTS = clip.video.back().presentationTime;

    // Of the sound, from the packet before the one that holds the first picture's moment (the
    // decoder needs it; the movie does not play it) to a little after the last picture.
    const MediaTime upper = add(clip.endPTS, kAudioMargin);
    for (const AudioPacket& packet : audio) {
        if (reachesInto(packet, clip.startPTS) && compare(packet.presentationTime, upper) <= 0) {
            clip.audio.push_back(packet);
        }
    }

    log.info(QStringLiteral("[Stop] Clip: %1 video frames; %2 audio packets; clipStartPTS=%3s clipEndPTS=%4s")
                 .arg(clip.video.size())
                 .arg(clip.audio.size())
                 .arg(fixed(clip.startPTS.seconds(), 3))
                 .arg(fixed(clip.endPTS.seconds(), 3)));
    return clip;
}

ClipSelection selectBetween(const std::vector<VideoPacket>& video, const std::vector<AudioPacket>& audio,
                            MediaTime from, MediaTime to, const Logger& log) {
    std::vector<VideoPacket> upTo;
    for (const VideoPacket& packet : video) {
        if (compare(packet.presentationTime, to) <= 0) {
            upTo.push_back(packet);
        }
    }
    const double seconds = upTo.empty() ? 0.0 : subtract(upTo.back().presentationTime, from).seconds();
    return selectClip(upTo, audio, seconds, log);
}

} // namespace backreel
