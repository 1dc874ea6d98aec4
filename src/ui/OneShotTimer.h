#pragma once

#include <chrono>
#include <functional>

namespace backreel {

// A single pending delayed call that can be cancelled or replaced. The status line's return to
// "Ready" runs on one; tests give it one they move forward by hand. Main thread.
class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;
    // Calls `fired` once, `delay` from now, on the main thread; a call still pending is dropped.
    virtual void start(std::chrono::milliseconds delay, std::function<void()> fired) = 0;
    // Drops the pending call, if any.
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

} // namespace backreel
