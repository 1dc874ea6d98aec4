#pragma once

#include "common/RecordingStatus.h"
#include "export/Clip.h"

#include <optional>
#include <QCoroTask>
#include <QString>

namespace backreel {

// Where a save goes and what follows it.
struct SaveRequest {
    // The folder that takes the clip under its dated name, without a dialog (made when missing);
    // none asks with the save dialog.
    std::optional<QString> folder;
    // Whether the saved file is then shown in the file manager, which takes the focus.
    bool reveal = true;
};

// Turns a clip into a saved file: asks where (or takes the requested folder), writes, checks and
// reveals it. Completes with the status to show: saved with the location, idle when the user
// cancelled, or error with "Save failed: " and the reason. Main thread; suspends at the dialog and
// while writing.
class SaveFlow {
public:
    virtual ~SaveFlow() = default;
    virtual QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) = 0;
};

} // namespace backreel
