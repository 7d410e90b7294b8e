// Tally on a real X desktop: Xvfb, the tray host trayer, and xdotool as the person at it.
#include <algorithm>
#include <csignal>
#include <memory>
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

namespace {

// One X display of the test's own, a tray host on it, and the person at it.
struct Desk {
    Process x{{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}, {}};
    std::string display;
    std::unique_ptr<Process> tray;

    Desk() {
        const std::string& number = x.readUntil([](const std::string& o) { return o.find('\n') != std::string::npos; }, 20s);
        if (!number.empty()) display = ":" + number.substr(0, number.find('\n'));
    }
    void startTray() {
        tray = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", "100", "--heighttype", "pixel", "--height", "24"},
            std::vector<std::string>{"DISPLAY=" + display});
    }
    std::string x11(std::vector<std::string> args) const { return run(std::move(args), display); }
    // Where a window is, from xdotool.
    std::map<std::string, int> geometry(const std::string& window) const {
        std::istringstream lines(x11({"/usr/bin/xdotool", "getwindowgeometry", "--shell", window}));
        std::map<std::string, int> at;
        for (std::string line; std::getline(lines, line);)
            if (const auto eq = line.find('='); eq != std::string::npos)
                at[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
        return at;
    }
    // The first visible window of this name, once there is one.
    std::string window(const std::string& name) const {
        std::string found;
        if (!eventually([&] {
                found = x11({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", name});
                return !found.empty();
            }))
            return {};
        return found.substr(0, found.find('\n'));
    }
    // Keys for the window under the pointer: without a window manager, that one has them.
    void keysAt(const std::string& window, std::vector<std::string> keys) const {
        const auto at = geometry(window);
        std::vector<std::string> args{"/usr/bin/xdotool", "mousemove", std::to_string(at.at("X") + 10),
                                      std::to_string(at.at("Y") + 10), "key", "--delay", "150"};
        args.insert(args.end(), keys.begin(), keys.end());
        x11(args);
    }
};

}  // namespace

// A person at the desktop sets a status by hand from the tray menu and a colour in Preferences,
// with the keyboard, and the light follows each.
TEST(Desktop, aStatusByHandAndAColourChosenAtTheDesktopReachTheLight) {
    for (const char* program : {"/usr/bin/Xvfb", "/usr/bin/trayer", "/usr/bin/xdotool"})
        if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is missing (scripts/install-deps)";
    TallyHome home;
    Desk desk;
    ASSERT_FALSE(desk.display.empty()) << "Xvfb did not start";
    desk.startTray();
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--port", light.path()},
                  home.environmentWith({"DISPLAY=" + desk.display, "QT_QPA_PLATFORM="}));
    ASSERT_TRUE(light.eventuallyLast("OFF")) << "Teams is not running: the light is off";
    std::string icon;
    ASSERT_TRUE(eventually([&] { return !(icon = visibleTallyWindows(desk.display)).empty(); })) << "no tray icon";
    icon = icon.substr(0, icon.find('\n'));
    const auto at = desk.geometry(icon);
    // A right click on the icon; whether the menu opened.
    const auto openMenu = [&] {
        desk.x11({"/usr/bin/xdotool", "mousemove", std::to_string(at.at("X") + 5), std::to_string(at.at("Y") + 5),
                  "click", "3"});
        return eventually([&] {
            const std::string windows = visibleTallyWindows(desk.display);
            return std::count(windows.begin(), windows.end(), '\n') >= 2;
        });
    };

    // Show as > Busy > For 30 minutes. The keys reach the privacy entry first (this home has no
    // Teams logs), then "Show as".
    ASSERT_TRUE(openMenu()) << "the menu did not open";
    desk.x11({"/usr/bin/xdotool", "key", "--delay", "200", "Down", "Down", "Right", "Down", "Down", "Right", "Return"});
    EXPECT_TRUE(light.eventuallyLast("C 255 0 0")) << "Busy, set by hand";

    // Preferences: the first button is Available's colour, then its pulse, then Busy's colour.
    ASSERT_TRUE(openMenu()) << "the menu did not open again";
    // From the bottom: Quit, View log, Start at login, then Preferences above the separator.
    desk.x11({"/usr/bin/xdotool", "key", "--delay", "200", "Up", "Up", "Up", "Up", "Return"});
    const std::string preferences = desk.window("Tally Preferences");
    ASSERT_FALSE(preferences.empty()) << "no Preferences window";
    desk.keysAt(preferences, {"Tab", "Tab", "space"});
    const std::string picker = desk.window("Colour of Busy");
    ASSERT_FALSE(picker.empty()) << "no colour picker for Busy";
    desk.keysAt(picker, {"alt+h", "ctrl+a", "numbersign", "f", "f", "f", "f", "f", "f", "Return"});
    EXPECT_TRUE(light.eventuallyLast("C 255 255 255")) << "Busy in the colour chosen";

    tally.stop(SIGTERM);
    EXPECT_EQ(light.lastReceived(), "OFF");
}
