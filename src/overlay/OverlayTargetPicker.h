#pragma once

#include "capture/RecordingManager.h"
#include "overlay/TargetSelection.h"
#include "ui/TargetPicker.h"

#include <QPointer>

namespace backreel {

// The main window's target picking through the full-screen overlays, over the platform's windows
// and screen pictures; window picks are logged to `log`. A failed shareable-content query leaves
// the target as it was and shows its message in the status line, unless a recording is buffering
// or saving (then the line belongs to it). Main thread. A pick may outlive the picker
// and the recorder (the application quitting while an overlay is up): once they are gone, it ends
// without touching either.
class OverlayTargetPicker final : public TargetPicker {
public:
    OverlayTargetPicker(RecordingManager& manager, Platform platform, Logger log)
        : manager_(manager)
        , platform_(std::move(platform))
        , log_(log) {}

    QCoro::Task<> pickWindowTarget() override {
        const QPointer<RecordingManager> manager(&manager_);
        QCoro::Task<MaybeError> flow = backreel::pickWindowTarget(manager_, platform_, log_);
        const MaybeError failure = co_await std::move(flow);
        show(manager, failure);
    }
    QCoro::Task<> selectRegionTarget() override {
        const QPointer<RecordingManager> manager(&manager_);
        QCoro::Task<MaybeError> flow = backreel::selectRegionTarget(manager_, platform_);
        const MaybeError failure = co_await std::move(flow);
        show(manager, failure);
    }

private:
    // Static: the picker itself may be gone by the time a pick ends.
    static void show(const QPointer<RecordingManager>& manager, const MaybeError& failure) {
        if (!manager || !failure) {
            return;
        }
        const RecordingStatus status = manager->status();
        if (!status.is(RecordingStatus::Kind::buffering) && !status.is(RecordingStatus::Kind::saving)) {
            manager->setStatus(RecordingStatus::error(failure->description));
        }
    }

    RecordingManager& manager_;
    const Platform platform_;
    const Logger log_;
};

} // namespace backreel
