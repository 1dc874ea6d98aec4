#include "capture/ClipSaveQueue.h"

#include <algorithm>
#include <QTimer>
#include <utility>

namespace backreel {

ClipSaveQueue::ClipSaveQueue(QObject* context, std::function<void()> changed)
    : context_(context)
    , changed_(std::move(changed)) {}

void ClipSaveQueue::next() {
    if (!places_.empty()) {
        places_.front()->come(context_);
    }
}

ClipSaveQueue::Place::Place(ClipSaveQueue& queue)
    : queue_(queue) {
    queue_.places_.push_back(this);
    queue_.changed_();
    queue_.next();
}

ClipSaveQueue::Place::~Place() {
    std::erase(queue_.places_, this);
    queue_.changed_();
    queue_.next();
}

void ClipSaveQueue::Place::come(QObject* context) {
    if (std::exchange(ready_, true)) {
        return;
    }
    if (const std::coroutine_handle<> waiting = std::exchange(waiting_, {})) {
        // From the event loop, not from inside the save that just ended.
        QTimer::singleShot(0, context, [waiting] { waiting.resume(); });
    }
}

bool ClipSaveQueue::Turn::await_ready() const noexcept {
    return place->ready_;
}

void ClipSaveQueue::Turn::await_suspend(std::coroutine_handle<> waiting) const noexcept {
    place->waiting_ = waiting;
}

} // namespace backreel
