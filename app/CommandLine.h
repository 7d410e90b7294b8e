#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tally {

// What the command line asks for. Read once, at start, and handed to everything that needs it.
struct Switches {
    bool dryRun = false;
    bool simulate = false;
    std::optional<std::string> port;
    // The kind of light on `port` when it is not Tally's own: "busy-tag" or "fit-statusb".
    std::optional<std::string> lightKind;
    bool operator==(const Switches&) const = default;
};

namespace CommandLine {

struct Parsed {
    enum class Action { run, help, version, quit, error };
    Action action = Action::run;
    Switches switches;
    std::vector<std::string> ignored;  // arguments Tally does not know, in order
    std::string error;                 // what is wrong, when action is error
};

// The arguments after the program's name. "--port PATH" and "--port=PATH" are the same; a
// switch that lacks its value is an error; anything unknown is ignored, and named.
Parsed parse(const std::vector<std::string>& arguments);

std::string helpText();

// Whether Tally will print anything to its standard output or error: the switches that answer
// and end, those that echo the activity log, and a word on ignored arguments. Only then does a
// Windows Tally attach to the console it was started from.
bool prints(const Parsed& parsed);

// Prints what `parsed` calls for: the help or the version on standard output, an error or the
// ignored arguments on standard error. Returns the exit status when Tally should stop here.
std::optional<int> report(const Parsed& parsed, const std::string& version);

}  // namespace CommandLine

}  // namespace tally
