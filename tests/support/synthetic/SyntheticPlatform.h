#pragma once

#include "platform/NotificationMuter.h"
#include "platform/Platform.h"
#include "platform/WindowServer.h"
#include "support/synthetic/SyntheticState.h"

#include <memory>

namespace backreel {

class SyntheticNotificationMuter final : public NotificationMuter {
public:
    explicit SyntheticNotificationMuter(std::shared_ptr<SyntheticState> state) : state_(std::move(state)) {}
    void postMute() override { state_->record("mute"); }
    void postUnmute() override { state_->record("unmute"); }

private:
    std::shared_ptr<SyntheticState> state_;
};

class SyntheticWindowServer final : public WindowServer {
public:
    explicit SyntheticWindowServer(std::shared_ptr<SyntheticState> state) : state_(std::move(state)) {}
    std::uint32_t mainDisplayID() override { return state_->options().mainDisplayID; }
    std::vector<WindowServerEntry> windowList() override {
        std::vector<WindowServerEntry> entries;
        for (const Window& window : state_->options().content.windows) {
            if (window.isOnScreen) {
                entries.push_back(WindowServerEntry{window.windowID, window.windowLayer, window.frame,
                                                    window.owningApplication ? window.owningApplication->processID : 0});
            }
        }
        return entries;
    }

private:
    std::shared_ptr<SyntheticState> state_;
};

// Every service backed by generated content, for tests and benchmarks without a desktop.
Platform makeSyntheticPlatform(const std::shared_ptr<SyntheticState>& state);

} // namespace backreel
