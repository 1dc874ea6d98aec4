#pragma once

#include "export/MovieWriter.h"
#include "export/SaveFlow.h"
#include "export/SaveLocation.h"
#include "platform/FileReveal.h"

#include <memory>
#include <variant>

namespace backreel {

// A temporary file next to the chosen location, hidden, unique, e.g. ".clip.mp4.1a2b3c.part".
QString temporaryPathBeside(const QString& location);

// Why a save failed, in words for "Save failed: …": the cause by name where the system's error
// code tells it (no space left, a read-only or vanished folder, …), the error's own text otherwise.
QString saveFailureReason(const Error& error);

// The save of a clip: asks where (or names it in the requested folder), writes the movie to a
// temporary file beside that place, and only once it is complete moves it over the location, so a
// failed save never destroys a file the user already had there. Then shows the file in the file
// manager when asked to.
class DesktopSaveFlow final : public SaveFlow {
public:
    DesktopSaveFlow(std::shared_ptr<SaveLocationChooser> chooser, MovieWriterServices services,
                    std::shared_ptr<FileReveal> reveal, Logger log = Logger::recording());

    QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) override;

private:
    // The requested folder's path for a new clip, or the status that says why there is none.
    std::variant<QString, RecordingStatus> pathInFolder(const QString& folder) const;

    const std::shared_ptr<SaveLocationChooser> chooser_;
    const MovieWriterServices services_;
    const std::shared_ptr<FileReveal> reveal_;
    const Logger log_;
};

} // namespace backreel
