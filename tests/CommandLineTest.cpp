#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace tally;
using Action = CommandLine::Parsed::Action;

TEST(CommandLine, readsEverySwitchOnceIntoOneValue) {
    struct Case {
        std::vector<std::string> arguments;
        Action action;
        Switches switches;
        std::vector<std::string> ignored;
    };
    const auto port = [](std::string path) {
        Switches s;
        s.port = std::move(path);
        return s;
    };
    const Case cases[] = {
        {{}, Action::run, {}, {}},
        {{"--simulate", "--dry-run"}, Action::run, Switches{true, true, {}, {}}, {}},
        {{"--port", "/dev/ttyACM0"}, Action::run, port("/dev/ttyACM0"), {}},
        {{"--port=/dev/ttyACM0"}, Action::run, port("/dev/ttyACM0"), {}},
        {{"--port=a", "--port", "b"}, Action::run, port("b"), {}},
        {{"--port", "-odd name"}, Action::run, port("-odd name"), {}},
        {{"--port"}, Action::error, {}, {}},
        {{"--port="}, Action::error, {}, {}},
        {{"--port", "--dry-run"}, Action::error, {}, {}},
        {{"--Port", "x", "-dry-run", "--simulate=1"}, Action::run, {}, {"--Port", "x", "-dry-run", "--simulate=1"}},
        {{"--dry-run", "--help", "--port"}, Action::help, Switches{true, false, {}, {}}, {}},
        {{"-h"}, Action::help, {}, {}},
        {{"--version", "--nonsense"}, Action::version, {}, {}},
        {{"--dry-run", "--quit"}, Action::quit, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const auto parsed = CommandLine::parse(c.arguments);
        EXPECT_EQ(parsed.action, c.action);
        if (c.action == Action::run) {
            EXPECT_EQ(parsed.switches, c.switches);
            EXPECT_EQ(parsed.ignored, c.ignored);
        }
        if (c.action == Action::error) {
            EXPECT_EQ(parsed.error, "--port needs the path of a serial port, as in --port /dev/ttyACM0");
        }
    }
}

TEST(CommandLine, aLightKindNamesTheLightOnTheGivenPort) {
    Switches busyTag;
    busyTag.port = "/dev/ttyACM1";
    busyTag.lightKind = "busy-tag";
    EXPECT_EQ(CommandLine::parse({"--port", "/dev/ttyACM1", "--light-kind", "busy-tag"}).switches, busyTag);
    busyTag.lightKind = "fit-statusb";
    EXPECT_EQ(CommandLine::parse({"--light-kind=fit-statusb", "--port=/dev/ttyACM1"}).switches, busyTag);
    busyTag.lightKind = "tally";
    EXPECT_EQ(CommandLine::parse({"--port", "/dev/ttyACM1", "--light-kind", "tally"}).switches, busyTag);

    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{"--port", "COM3", "--light-kind", "luxafor"}, "--light-kind takes tally, busy-tag or fit-statusb"},
        {{"--port", "COM3", "--light-kind"}, "--light-kind takes tally, busy-tag or fit-statusb"},
        {{"--light-kind", "busy-tag"}, "--light-kind names the light on the port given with --port"},
    };
    for (const auto& [arguments, error] : errors) {
        const auto parsed = CommandLine::parse(arguments);
        EXPECT_EQ(parsed.action, Action::error) << testing::PrintToString(arguments);
        EXPECT_EQ(parsed.error, error) << testing::PrintToString(arguments);
    }
}

TEST(CommandLine, printsOnlyWhenASwitchAnswersEchoesOrIsIgnored) {
    // A Windows Tally takes over the console it was started from only then: a plain start from
    // a console must leave it free (closing it would otherwise end Tally).
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{}, false},           {{"--port", "COM5"}, false}, {{"--help"}, true},   {{"--version"}, true},
        {{"--quit"}, true},    {{"--port"}, true},          {{"--dry-run"}, true}, {{"--simulate"}, true},
        {{"--nonsense"}, true},
    };
    for (const auto& [arguments, prints] : cases)
        EXPECT_EQ(CommandLine::prints(CommandLine::parse(arguments)), prints) << testing::PrintToString(arguments);
}
