#pragma once

#include "common/RecordingStatus.h"
#include "export/Clip.h"

#include <QCoroTask>

namespace backreel {

// Turns a clip into a saved file: asks where, writes, checks and reveals it. Completes with the
// status to show: saved with the location, idle when the user cancelled, or error with
// "Save failed: " and the reason. Main thread; suspends at the dialog and while writing.
class SaveFlow {
public:
    virtual ~SaveFlow() = default;
    virtual QCoro::Task<RecordingStatus> save(Clip clip) = 0;
};

} // namespace backreel
