// Tally on a real X desktop: Xvfb, the tray host trayer, and xdotool as the person at it.
#include <algorithm>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/Process.h"
#include "support/TallyHome.h"
#include "support/VirtualLight.h"

using namespace tally::test;
using namespace std::chrono_literals;

namespace {

std::string run(std::vector<std::string> args, const std::string& display) {
    Process p(std::move(args), {"DISPLAY=" + display});
    return p.readUntil([](const std::string&) { return false; }, 5s);
}

// The tray icon's window, once it is on screen.
std::string visibleTallyWindows(const std::string& display) {
    return run({"/usr/bin/xdotool", "search", "--onlyvisible", "--class", "tally"}, display);
}

}  // namespace

TEST(Desktop, theIconAppearsWithALateTrayAndCtrlQInTheOpenMenuQuits) {
    for (const char* program : {"/usr/bin/Xvfb", "/usr/bin/trayer", "/usr/bin/xdotool"})
        if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is missing (scripts/install-deps)";
    TallyHome home;
    Process x({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"}, {});
    const std::string& number =
        x.readUntil([](const std::string& o) { return o.find('\n') != std::string::npos; }, 20s);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = ":" + number.substr(0, number.find('\n'));

    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()},
                  home.environmentWith({"DISPLAY=" + display, "QT_QPA_PLATFORM="}));
    ASSERT_NE(tally.readUntil([](const std::string& o) { return o.find("no system tray") != std::string::npos; }, 20s)
                  .find("no system tray"),
              std::string::npos)
        << tally.output;
    EXPECT_EQ(visibleTallyWindows(display), "");

    // The tray host starts after Tally, as it often does at login.
    Process tray({"/usr/bin/trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                  "--width", "100", "--heighttype", "pixel", "--height", "24"},
                 {"DISPLAY=" + display});
    std::string icon;
    ASSERT_TRUE(eventually([&] { return !(icon = visibleTallyWindows(display)).empty(); }))
        << "no tray icon once the tray host is there";
    icon = icon.substr(0, icon.find('\n'));

    std::istringstream geometry(run({"/usr/bin/xdotool", "getwindowgeometry", "--shell", icon}, display));
    std::map<std::string, int> at;
    for (std::string line; std::getline(geometry, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            at[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    run({"/usr/bin/xdotool", "mousemove", std::to_string(at["X"] + 5), std::to_string(at["Y"] + 5), "click", "3"},
        display);
    ASSERT_TRUE(eventually([&] {
        const std::string windows = visibleTallyWindows(display);
        return std::count(windows.begin(), windows.end(), '\n') >= 2;
    })) << "the menu did not open";

    run({"/usr/bin/xdotool", "key", "ctrl+q"}, display);
    const auto status = tally.waitFor(10s);
    ASSERT_TRUE(status.has_value()) << "Ctrl+Q with the menu open did not quit";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(light.lastReceived(), "OFF");
}
