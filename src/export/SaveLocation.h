#pragma once

#include "core/Error.h"

#include <functional>
#include <optional>
#include <QCoroTask>
#include <QDateTime>
#include <QString>

namespace backreel {

// "loopvane-" + the local date and time as "yyyy-MM-dd-HHmmss" + ".mp4".
QString proposedFileName(const QDateTime& localTime);

// The clip folder unless the user chose one: "Backreel" in the user's Videos folder (XDG_VIDEOS_DIR,
// as `videos` gives it), or in ~/Videos when there is none.
QString defaultClipFolder(const QString& videos, const QString& home);

// The path of a clip saved at `localTime` in `folder`: the proposed name, or, when a file of that
// name is there already (two saves in one second), the name with "-2", "-3", … before ".mp4", so
// no clip replaces another.
QString clipPathIn(const QString& folder, const QDateTime& localTime,
                   const std::function<bool(const QString&)>& exists);

// Makes the folder and its parents where they are missing. The system's error when it cannot.
MaybeError makeFolder(const QString& folder);

// Where a save goes: asks the user (the save dialog) or, in tests, answers by itself.
class SaveLocationChooser {
public:
    virtual ~SaveLocationChooser() = default;
    // The chosen file path, or none when the user cancelled. Main thread; suspends meanwhile.
    virtual QCoro::Task<std::optional<QString>> chooseLocation() = 0;
};

// The save dialog: "Save Recording", MPEG-4 movies only, the proposed name, opening in the user's
// Videos folder, shown without blocking the event loop.
class SavePanel final : public SaveLocationChooser {
public:
    QCoro::Task<std::optional<QString>> chooseLocation() override;
};

} // namespace backreel
