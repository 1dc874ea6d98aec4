#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <utility>

namespace backreel {

namespace {
constexpr std::array<std::pair<const char*, CommandLine::Action>, 11> kOptions{{
    {"--help", CommandLine::Action::help},
    {"-h", CommandLine::Action::help},
    {"--version", CommandLine::Action::version},
    {"--save-clip", CommandLine::Action::saveClip},
    {"--mark", CommandLine::Action::mark},
    {"--save-around-mark", CommandLine::Action::saveAroundMark},
    {"--review", CommandLine::Action::review},
    {"--start", CommandLine::Action::start},
    {"--stop-and-save", CommandLine::Action::stopAndSave},
    {"--status", CommandLine::Action::status},
    {"--quit", CommandLine::Action::quit},
}};

// A day is far more than any buffer holds; the limit keeps the number a plain one.
constexpr long long kMostSeconds = 24 * 60 * 60;

CommandLine invalid(QString error) {
    CommandLine line;
    line.action = CommandLine::Action::invalid;
    line.error = std::move(error);
    return line;
}

// The seconds of --save-clip N, from 0 to kMostSeconds; none when the text is no such number.
std::optional<long long> secondsFrom(const QString& text) {
    bool isNumber = false;
    const long long value = text.toLongLong(&isNumber);
    if (!isNumber || value < 0 || value > kMostSeconds || text.startsWith(QLatin1Char('+'))) {
        return std::nullopt;
    }
    return value;
}
} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    bool help = false;
    bool twoCommands = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--discard-unsaved")) {
            line.discardUnsaved = true;
            continue;
        }
        if (argument == QLatin1String("--buffer")) {
            line.buffer = true;
            continue;
        }
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        const auto option = std::ranges::find_if(
            kOptions, [&](const auto& known) { return name == QLatin1String(known.first); });
        if (option == kOptions.end()) {
            return invalid(argument.startsWith(QLatin1Char('-'))
                               ? QStringLiteral("unknown option '%1'").arg(argument)
                               : QStringLiteral("unexpected argument '%1'").arg(argument));
        }
        const bool hasValue = argument.contains(QLatin1Char('='));
        const bool takesValue = option->second == CommandLine::Action::saveClip ||
                                option->second == CommandLine::Action::mark ||
                                option->second == CommandLine::Action::saveAroundMark;
        if (hasValue && !takesValue) {
            return invalid(QStringLiteral("%1 takes no value").arg(name));
        }
        if (option->second == CommandLine::Action::help) {
            help = true;
            continue;
        }
        twoCommands =
            twoCommands || (line.action != CommandLine::Action::run && line.action != option->second);
        line.action = option->second;
        if (!takesValue) {
            continue;
        }
        // --save-clip=N, --save-clip N, or --save-clip alone; the same for the others.
        QString value;
        if (hasValue) {
            value = argument.section(QLatin1Char('='), 1);
        } else if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-'))) {
            value = arguments[++i];
        } else {
            continue;
        }
        if (line.action == CommandLine::Action::mark) {
            line.label = value;
            continue;
        }
        const std::optional<long long> seconds = secondsFrom(value);
        if (!seconds) {
            return invalid(QStringLiteral("%1 takes a whole number of seconds from 0 (%2) to %3, not '%4'")
                               .arg(name,
                                    line.action == CommandLine::Action::saveClip
                                        ? QStringLiteral("the chosen duration")
                                        : QStringLiteral("%1 s").arg(kSecondsAroundMark))
                               .arg(kMostSeconds)
                               .arg(value));
        }
        // 0 is the chosen duration, as it is for D-Bus's SaveClip(0).
        line.seconds = *seconds > 0 ? std::optional(std::chrono::seconds(*seconds)) : std::nullopt;
    }
    if (help) {
        return CommandLine{CommandLine::Action::help, std::nullopt, false, false, {}};
    }
    if (twoCommands) {
        return invalid(QStringLiteral("give one command at a time"));
    }
    if (line.discardUnsaved && line.action != CommandLine::Action::quit) {
        return invalid(QStringLiteral("--discard-unsaved goes with --quit"));
    }
    if (line.buffer && line.action != CommandLine::Action::run) {
        return invalid(QStringLiteral("--buffer starts Backreel: give it without a command"));
    }
    return line;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Usage: backreel [COMMAND]\n"
        "\n"
        "Backreel keeps the last seconds of the screen and its sound in memory and saves them on "
        "request.\n"
        "Without a command it starts, or shows the window of the Backreel that runs already.\n"
        "  --buffer               start buffering at once (in the tray, with the last target), or\n"
        "                         start the running Backreel's recording\n"
        "\n"
        "Commands for the running Backreel:\n"
        "  --save-clip [SECONDS]  save the last SECONDS (default: the chosen duration) and keep recording\n"
        "  --mark [LABEL]         mark this moment: a chapter, titled LABEL, in the clips that hold it\n"
        "  --save-around-mark [SECONDS]\n"
        "                         save SECONDS (default: 10) before and after the last marker, once\n"
        "                         those after it have been recorded\n"
        "  --review               open the review window on what is buffered now, to choose what to save\n"
        "  --start                start recording\n"
        "  --stop-and-save        stop recording and save, as Stop & Save does\n"
        "  --status               print the state (idle, buffering, saving, saved, error) and the status "
        "line\n"
        "  --quit                 end the running Backreel; refused while it keeps unsaved clips\n"
        "  --quit --discard-unsaved\n"
        "                         end it even so, letting its unsaved clips go\n"
        "\n"
        "  -h, --help             show this help\n"
        "  --version              show the version\n"
        "\n"
        "A command exits with 0 when the running Backreel took it, 1 when it refused it or none runs,\n"
        "and 2 when the command line is wrong.\n");
}

} // namespace backreel
