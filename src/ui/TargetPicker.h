#pragma once

#include <QCoroTask>

namespace backreel {

// The flows that let the user choose a window or a region on the screen. Each suspends on the main
// thread until the user has clicked, dragged or pressed Esc, and sets the recording manager's
// target itself (and the picked window's description). The main window's buttons start them and do
// not wait. Main thread.
class TargetPicker {
public:
    virtual ~TargetPicker() = default;
    virtual QCoro::Task<> pickWindowTarget() = 0;
    virtual QCoro::Task<> selectRegionTarget() = 0;
};

} // namespace backreel
