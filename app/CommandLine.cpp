#include "CommandLine.h"

#include <cstdio>

#include "KnownLights.h"

namespace tally::CommandLine {

namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

// The value of a switch given as "--name VALUE" or "--name=VALUE", empty when it lacks one;
// absent when the argument is another.
std::optional<std::string> valueOf(std::string_view name, const std::vector<std::string>& arguments, std::size_t& i) {
    const std::string& argument = arguments[i];
    if (argument.starts_with(std::string(name) + "=")) return argument.substr(name.size() + 1);
    if (argument != name) return std::nullopt;
    if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--"))
        return arguments[++i];  // a switch in its place is a forgotten value
    return std::string();
}

}  // namespace

Parsed parse(const std::vector<std::string>& arguments) {
    Parsed parsed;
    const auto fail = [&parsed](std::string error) {
        parsed.action = Parsed::Action::error;
        parsed.error = std::move(error);
        return parsed;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            parsed.action = Parsed::Action::help;
            return parsed;
        }
        if (argument == "--version") {
            parsed.action = Parsed::Action::version;
            return parsed;
        }
        if (argument == "--quit") {
            parsed.action = Parsed::Action::quit;
            return parsed;
        }
        if (argument == "--dry-run") {
            parsed.switches.dryRun = true;
        } else if (argument == "--simulate") {
            parsed.switches.simulate = true;
        } else if (auto path = valueOf("--port", arguments, i)) {
            if (path->empty())
                return fail("--port needs the path of a serial port, as in --port /dev/ttyACM0");
            parsed.switches.port = std::move(*path);
        } else if (auto kind = valueOf("--light-kind", arguments, i)) {
            if (*kind != "tally" && !lights::serialKindNamed(*kind))
                return fail("--light-kind takes tally, busy-tag or fit-statusb");
            parsed.switches.lightKind = std::move(*kind);
        } else {
            parsed.ignored.push_back(argument);
        }
    }
    if (parsed.switches.lightKind && !parsed.switches.port)
        return fail("--light-kind names the light on the port given with --port");
    return parsed;
}

std::string helpText() {
    return "Usage: tally [options]\n"
           "Shows your Microsoft Teams status on a USB desk light, from the Teams client's logs.\n"
           "\n"
           "Options:\n"
           "  -h, --help         Show this help and exit.\n"
           "  --version          Show Tally's version and exit.\n"
           "  --port <path>      Use the light on this serial port instead of looking for it\n"
           "                     (also --port=<path>).\n"
           "  --light-kind <kind> The light on --port is a busy-tag or a fit-statusb rather than\n"
           "                     Tally's own (tally).\n"
           "  --simulate         Cycle through every state instead of reading the Teams logs.\n"
           "  --dry-run          Run without a light.\n"
           "  --quit             Ask the running Tally to quit, light off first, and exit: with\n"
           "                     status 0 when it quit, 1 when none was running, 3 when one\n"
           "                     runs but does not answer.\n";
}

bool prints(const Parsed& parsed) {
    return parsed.action != Parsed::Action::run || parsed.switches.dryRun || parsed.switches.simulate ||
           !parsed.ignored.empty();
}

std::optional<int> report(const Parsed& parsed, const std::string& version) {
    switch (parsed.action) {
        case Parsed::Action::help:
            std::fputs(helpText().c_str(), stdout);
            return 0;
        case Parsed::Action::version:
            std::printf("tally %s\n", version.c_str());
            return 0;
        case Parsed::Action::error:
            std::fprintf(stderr, "tally: %s (see tally --help)\n", parsed.error.c_str());
            return 2;
        case Parsed::Action::run:
        case Parsed::Action::quit:
            break;
    }
    if (!parsed.ignored.empty())
        std::fprintf(stderr, "tally: ignoring %s (see tally --help)\n", joined(parsed.ignored).c_str());
    return std::nullopt;
}

}  // namespace tally::CommandLine
