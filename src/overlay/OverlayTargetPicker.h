#pragma once

#include "overlay/TargetSelection.h"
#include "ui/TargetPicker.h"

namespace backreel {

// The main window's target picking through the full-screen overlays. A failed shareable-content
// query leaves the target as it was and shows nothing: the main window has no place for it. Main
// thread.
class OverlayTargetPicker final : public TargetPicker {
public:
    explicit OverlayTargetPicker(RecordingManager& manager)
        : manager_(manager) {}

    QCoro::Task<> pickWindowTarget() override {
        QCoro::Task<MaybeError> flow = backreel::pickWindowTarget(manager_);
        co_await std::move(flow);
    }
    QCoro::Task<> selectRegionTarget() override {
        QCoro::Task<MaybeError> flow = backreel::selectRegionTarget(manager_);
        co_await std::move(flow);
    }

private:
    RecordingManager& manager_;
};

} // namespace backreel
