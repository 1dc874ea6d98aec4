#include "capture/UnsavedClip.h"

namespace backreel {

namespace {
QString describe(const Clip& clip) {
    return QStringLiteral("%1 video frames, %2 audio chunks, %3s")
        .arg(clip.video.size())
        .arg(clip.audio.size())
        .arg(fixed((clip.endPTS - clip.startPTS).seconds(), 2));
}
} // namespace

void UnsavedClip::keep(Clip clip, UnsavedClipOffer offer) {
    log_.info(QStringLiteral("[Unsaved] Keeping the clip (%1) %2")
                  .arg(describe(clip), offer == UnsavedClipOffer::saveWhatWasBuffered
                                           ? QStringLiteral("that the ended recording had buffered")
                                           : QStringLiteral("until it is saved")));
    clip_ = std::move(clip);
    offer_ = offer;
}

bool UnsavedClip::discard(const QString& why) {
    if (!clip_) {
        return false;
    }
    log_.info(QStringLiteral("[Unsaved] Discarding the unsaved clip (%1): %2").arg(describe(*clip_), why));
    clip_.reset();
    offer_ = UnsavedClipOffer::none;
    return true;
}

} // namespace backreel
