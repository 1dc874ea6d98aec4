#pragma once

#include <QCoroTask>
#include <QDateTime>
#include <QString>

#include <optional>

namespace backreel {

// "loopvane-" + the local date and time as "yyyy-MM-dd-HHmmss" + ".mp4".
QString proposedFileName(const QDateTime& localTime);

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
