#pragma once

// The recorder on the synthetic platform, for every test that drives one: the platform's state, a
// stand-in save flow and the settings, shared by all managers made from it.

#include "capture/RecordingManager.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticPlatform.h"

#include <memory>
#include <vector>

namespace backreel::test {

// A 1920 × 1080 display, side by side with the others by its number.
inline Display display(std::uint32_t id, const QString& name = {}) {
    return Display{id, 1920, 1080, QRectF((id - 1) * 1920.0, 0, 1920, 1080),
                   name.isNull() ? QStringLiteral("VIRT-%1").arg(id) : name};
}

// The synthetic platform offering these displays (the first is the main one) and windows, or as
// the options say, and a recording manager on it that hands its clips to a stand-in save flow.
struct SyntheticRecorder {
    explicit SyntheticRecorder(SyntheticOptions options)
        : state(std::make_shared<SyntheticState>(std::move(options))),
          platform(makeSyntheticPlatform(state)),
          saveFlow(std::make_shared<SaveFlowStandIn>(state)) {}
    explicit SyntheticRecorder(std::vector<Display> displays = {display(1)}, std::vector<Window> windows = {})
        : SyntheticRecorder([&] {
              SyntheticOptions options;
              options.mainDisplayID = displays.empty() ? 0 : displays.front().displayID;
              options.content.displays = std::move(displays);
              options.content.windows = std::move(windows);
              return options;
          }()) {}
    std::unique_ptr<RecordingManager> makeManager() const {
        return std::make_unique<RecordingManager>(platform, saveFlow, settings);
    }
    std::shared_ptr<SyntheticState> state;
    Platform platform;
    std::shared_ptr<SaveFlowStandIn> saveFlow;
    std::shared_ptr<RecorderSettings> settings = std::make_shared<RecorderSettings>();
};

} // namespace backreel::test
