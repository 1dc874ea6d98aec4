#include "platform/VideoSource.h"

namespace backreel {

void VideoSource::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
}

void VideoSource::reportEnd(CaptureError reason) {
    {
        std::lock_guard lock(mutex_);
        if (stopped_ || endReported_) {
            return;
        }
        endReported_ = true;
        end_ = std::move(reason);
    }
    // Dropped with the source when it goes before the main thread takes it.
    QMetaObject::invokeMethod(this, "emitEnd", Qt::QueuedConnection);
}

void VideoSource::emitEnd() {
    std::optional<CaptureError> reason;
    {
        std::lock_guard lock(mutex_);
        if (stopped_) {
            return;
        }
        reason = std::move(end_);
    }
    if (reason) {
        emit ended(*reason);
    }
}

} // namespace backreel
