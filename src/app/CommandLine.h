#pragma once

#include <chrono>
#include <optional>
#include <QString>
#include <QStringList>

namespace backreel {

// What `backreel` was asked to do. Without a command it runs (or, while one runs, shows that one's
// window); a command is sent to the running instance.
struct CommandLine {
    enum class Action {
        run,
        help,
        version,
        saveClip,
        mark,
        saveAroundMark,
        review,
        start,
        stopAndSave,
        status,
        quit,
        invalid
    };

    Action action = Action::run;
    // For saveClip: how many seconds to save; none for the chosen duration. For saveAroundMark: how
    // many before and after the marker; none for kSecondsAroundMark.
    std::optional<std::chrono::seconds> seconds;
    // For quit: let the unsaved clips go rather than refuse.
    bool discardUnsaved = false;
    // For run: start buffering at once, with the last recording's target.
    bool buffer = false;
    // For invalid: what is wrong, as one sentence.
    QString error;
    // For mark: the marker's label (may be empty).
    QString label = {};

    friend bool operator==(const CommandLine&, const CommandLine&) = default;
};

// The seconds saved before and after a marker unless told.
inline constexpr unsigned kSecondsAroundMark = 10;

// Reads the arguments after the program's name. At most one command; `--save-clip` and
// `--save-around-mark` take an optional number of seconds and `--mark` an optional label, as the
// next argument or after '='; `--quit` may come with
// `--discard-unsaved`, and Backreel's own start may come with `--buffer`.
CommandLine parseCommandLine(const QStringList& arguments);

// What `backreel --help` prints.
QString commandLineHelp();

} // namespace backreel
