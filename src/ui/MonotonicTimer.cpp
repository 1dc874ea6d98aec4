#include "ui/MonotonicTimer.h"

namespace backreel {

MonotonicTimer::MonotonicTimer() {
    timer_.setSingleShot(true);
    // Coarse timers may fire up to 5 % late; the delay is meant as given.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        // The callback may start the timer again, so it is moved out first.
        std::function<void()> fired = std::move(fired_);
        fired_ = nullptr;
        if (fired) {
            fired();
        }
    });
}

void MonotonicTimer::start(std::chrono::milliseconds delay, std::function<void()> fired) {
    fired_ = std::move(fired);
    timer_.start(delay);
}

void MonotonicTimer::cancel() {
    timer_.stop();
    fired_ = nullptr;
}

} // namespace backreel
