#pragma once

#include "ui/OneShotTimer.h"

#include <QTimer>

namespace backreel {

// A OneShotTimer on Qt's precise timers, which count on the monotonic clock: changing the wall
// clock does not move them. Main thread.
class MonotonicTimer final : public OneShotTimer {
public:
    MonotonicTimer();

    void start(std::chrono::milliseconds delay, std::function<void()> fired) override;
    void cancel() override;
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> fired_;
};

} // namespace backreel
