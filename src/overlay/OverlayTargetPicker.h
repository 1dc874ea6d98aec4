#pragma once

#include "capture/RecordingManager.h"
#include "overlay/TargetSelection.h"
#include "ui/TargetPicker.h"

namespace backreel {

// The main window's target picking through the full-screen overlays. A failed shareable-content
// query leaves the target as it was and shows its message in the status line, unless a recording
// is buffering or saving (then the line belongs to it). Main thread.
class OverlayTargetPicker final : public TargetPicker {
public:
    explicit OverlayTargetPicker(RecordingManager& manager)
        : manager_(manager) {}

    QCoro::Task<> pickWindowTarget() override {
        QCoro::Task<MaybeError> flow = backreel::pickWindowTarget(manager_);
        show(co_await std::move(flow));
    }
    QCoro::Task<> selectRegionTarget() override {
        QCoro::Task<MaybeError> flow = backreel::selectRegionTarget(manager_);
        show(co_await std::move(flow));
    }

private:
    void show(const MaybeError& failure) {
        const RecordingStatus status = manager_.status();
        if (failure && !status.is(RecordingStatus::Kind::buffering) &&
            !status.is(RecordingStatus::Kind::saving)) {
            manager_.setStatus(RecordingStatus::error(failure->description));
        }
    }

    RecordingManager& manager_;
};

} // namespace backreel
