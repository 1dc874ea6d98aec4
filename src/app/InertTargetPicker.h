#pragma once

#include "ui/TargetPicker.h"

namespace backreel {

// Window and region picking for builds without the picking overlays: choosing does nothing and the
// target stays as it was. Main thread.
class InertTargetPicker final : public TargetPicker {
public:
    QCoro::Task<> pickWindowTarget() override { co_return; }
    QCoro::Task<> selectRegionTarget() override { co_return; }
};

} // namespace backreel
