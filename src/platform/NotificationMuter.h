#pragma once

namespace backreel {

// Mutes the desktop's notifications while buffering. Both calls are fire and forget: they return
// at once, and no answer is examined. Main thread.
class NotificationMuter {
public:
    virtual ~NotificationMuter() = default;
    virtual void postMute() = 0;
    virtual void postUnmute() = 0;
};

} // namespace backreel
