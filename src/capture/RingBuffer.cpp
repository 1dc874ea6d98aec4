#include "capture/RingBuffer.h"

#include <QCoreApplication>
#include <QThread>

#include <cmath>

namespace backreel {

void SampleStore::append(MediaSamplePtr sample) {
    std::lock_guard guard(lock_);
    samples_.push_back(std::move(sample));
    while (samples_.size() >= 2) {
        const MediaTime first = samples_.front() ? samples_.front()->presentationTime() : MediaTime::invalid();
        const MediaTime last = samples_.back() ? samples_.back()->presentationTime() : MediaTime::invalid();
        if (!first.isValid() && last.isValid()) {
            // A sample without a time cannot be placed in any span; left at the front it would
            // stop all trimming for good and the store would grow without bound.
            samples_.pop_front();
            continue;
        }
        const double span = subtract(last, first).seconds();
        // Strictly greater only: a span equal to the capacity stays; NaN and negative spans stop.
        if (maxDuration_ < span) {
            samples_.pop_front();
            continue;
        }
        break;
    }
}

std::size_t SampleStore::count() const {
    std::lock_guard guard(lock_);
    return samples_.size();
}

std::vector<MediaSamplePtr> SampleStore::snapshot() const {
    std::lock_guard guard(lock_);
    return {samples_.begin(), samples_.end()};
}

void SampleStore::clear() {
    std::lock_guard guard(lock_);
    samples_.clear();
}

double SampleStore::maxDuration() const {
    std::lock_guard guard(lock_);
    return maxDuration_;
}

void SampleStore::setMaxDuration(double seconds) {
    std::lock_guard guard(lock_);
    maxDuration_ = seconds;
}

void destroyOnMainThread(std::function<void()> destroy) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() == application->thread()) {
        destroy();
        return;
    }
    QMetaObject::invokeMethod(application, std::move(destroy), Qt::QueuedConnection);
}

} // namespace backreel
