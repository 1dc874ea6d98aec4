#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace backreel;
using Action = CommandLine::Action;

static CommandLine parse(std::initializer_list<const char*> arguments) {
    QStringList list;
    for (const char* argument : arguments) {
        list << QString::fromLatin1(argument);
    }
    return parseCommandLine(list);
}

// One command at a time; --save-clip's seconds as the next argument or after '='; --help wins.
TEST(RemoteCommandLine, ReadsEachCommandAndRefusesWhatItCannotSendWithAReason) {
    EXPECT_EQ(parse({}).action, Action::run);
    EXPECT_EQ(parse({"--start"}).action, Action::start);
    EXPECT_EQ(parse({"--stop-and-save"}).action, Action::stopAndSave);
    EXPECT_EQ(parse({"--status"}).action, Action::status);
    EXPECT_EQ(parse({"--quit"}).action, Action::quit);
    EXPECT_EQ(parse({"--buffer"}), (CommandLine{Action::run, std::nullopt, false, true, {}}));
    EXPECT_EQ(parse({"--discard-unsaved", "--quit"}),
              (CommandLine{Action::quit, std::nullopt, true, false, {}}));
    EXPECT_EQ(parse({"--version"}).action, Action::version);
    EXPECT_EQ(parse({"-h"}).action, Action::help);
    EXPECT_EQ(parse({"--start", "--help"}).action, Action::help);
    EXPECT_EQ(parse({"--status", "--status"}).action, Action::status);

    EXPECT_EQ(parse({"--save-clip"}), (CommandLine{Action::saveClip, std::nullopt, false, false, {}}));
    EXPECT_EQ(parse({"--save-clip", "10"}),
              (CommandLine{Action::saveClip, std::chrono::seconds(10), false, false, {}}));
    EXPECT_EQ(parse({"--save-clip=180"}),
              (CommandLine{Action::saveClip, std::chrono::seconds(180), false, false, {}}));
    EXPECT_EQ(parse({"--save-clip", "--save-clip", "30"}).seconds, std::chrono::seconds(30));

    EXPECT_EQ(parse({"--mark", "boss fight"}).label, QStringLiteral("boss fight"));
    EXPECT_EQ(parse({"--mark=won"}).label, QStringLiteral("won"));
    EXPECT_TRUE(parse({"--mark"}).label.isEmpty());
    EXPECT_EQ(parse({"--save-around-mark", "5"}),
              (CommandLine{Action::saveAroundMark, std::chrono::seconds(5), false, false, {}}));
    EXPECT_EQ(parse({"--save-around-mark"}).seconds, std::nullopt);

    const auto refusal = [](std::initializer_list<const char*> arguments) {
        const CommandLine line = parse(arguments);
        EXPECT_EQ(line.action, Action::invalid);
        return line.error.toStdString();
    };
    EXPECT_EQ(refusal({"--record"}), "unknown option '--record'");
    EXPECT_EQ(refusal({"clip.mp4"}), "unexpected argument 'clip.mp4'");
    EXPECT_EQ(refusal({"--start", "--quit"}), "give one command at a time");
    EXPECT_EQ(refusal({"--status=1"}), "--status takes no value");
    EXPECT_EQ(refusal({"--start", "--discard-unsaved"}), "--discard-unsaved goes with --quit");
    EXPECT_EQ(refusal({"--buffer", "--status"}), "--buffer starts Backreel: give it without a command");
    EXPECT_EQ(parse({"--save-clip", "0"}), (CommandLine{Action::saveClip, std::nullopt, false, false, {}}))
        << "0 is the chosen duration, as for D-Bus";
    for (const char* seconds : {"-5", "ten", "1.5", "+10", "86401", ""}) {
        const std::string error = refusal({(std::string("--save-clip=") + seconds).c_str()});
        EXPECT_NE(error.find("whole number of seconds"), std::string::npos) << seconds;
    }
    EXPECT_NE(refusal({"--save-clip", "ten"}).find("'ten'"), std::string::npos);
}
