// The Windows tally.exe, whole, under Wine, used as a person would: from a console, with the
// light on a port, in the tray of an X server of the test's own (Wine docks tray icons through
// XEmbed, so trayer holds them), and unpacked from its ZIP into a Wine prefix with nothing else
// in it. A Linux program: it drives Xvfb, trayer and xdotool beside Wine. The Windows leg of
// the test command runs it (the windows-wine build names the programs in its environment).
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "support/Eventually.h"
#include "support/Process.h"
#include "support/TallyHome.h"
#include "support/VirtualLight.h"

using namespace tally::test;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace fs = std::filesystem;

namespace {

std::string fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The Windows path Wine gives a Unix one.
std::string windowsPath(const std::string& unix) {
    std::string path = "Z:" + unix;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Windows ends its lines with "\r\n"; the tests compare the words.
std::string lines(std::string text) {
    std::erase(text, '\r');
    return text;
}

bool exitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

auto holding(const std::string& text) {
    return [text](const std::string& out) { return out.find(text) != std::string::npos; };
}
const auto never = [](const std::string&) { return false; };

const std::string wine = "/usr/bin/wine";

// A program run to its end: what it printed and how it ended.
struct Ran {
    std::string output;
    std::optional<int> status;
};
Ran run(std::vector<std::string> args, const std::vector<std::string>& environment,
        std::chrono::seconds limit = 60s) {
    Process p(std::move(args), environment, Process::Errors::collected);
    Ran ran{lines(p.readUntil(never, limit)), std::nullopt};
    ran.status = p.waitFor(10s);
    return ran;
}

// One Wine prefix, with its own server, for the Tallys of one test.
class WinePrefix {
public:
    // The build's prefix, made by the test command, or a new and empty one in `fresh`.
    explicit WinePrefix(std::string fresh = {}) : path_(fresh.empty() ? fromEnvironment("WINEPREFIX") : fresh) {
        if (!fresh.empty()) {
            fs::create_directories(fresh);
            made_ = exitedWith(run({"/usr/bin/wineboot", "-i"}, environment(), 180s).status, 0);
        } else {
            made_ = !path_.empty() && fs::exists(path_ + "/drive_c/windows/system32/kernel32.dll");
        }
        // As in every test's Tally: "Any call" off (Tally's settings are in the registry here).
        made_ = made_ && exitedWith(run({wine, "reg", "add", R"(HKCU\Software\Tally\Tally)", "/v", "anyCall", "/d",
                                         "false", "/f"}, environment(), 60s).status, 0);
    }
    ~WinePrefix() { (void)run({"/usr/bin/wineserver", "-k"}, environment(), 20s); }
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    bool made() const { return made_; }
    std::vector<std::string> environment(std::vector<std::string> more = {}) const {
        more.insert(more.end(), {"WINEPREFIX=" + path_, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="});
        return more;
    }

    // The activity log of the prefix's user: %LOCALAPPDATA%\Tally\Tally.log.
    std::string activityLog() const {
        std::string text;
        for (const auto& user : fs::directory_iterator(path_ + "/drive_c/users")) {
            std::ifstream in(user.path() / "AppData/Local/Tally/Tally.log");
            text += std::string(std::istreambuf_iterator<char>(in), {});
        }
        return text;
    }

    // What `reg query` says of a value; empty when it is not there.
    std::string registryValue(const std::string& key, const std::string& name) const {
        const Ran ran = run({wine, "reg", "query", key, "/v", name}, environment(), 30s);
        return exitedWith(ran.status, 0) ? ran.output : std::string();
    }

private:
    std::string path_;
    bool made_ = false;
};

// An X server of the test's own, and the tray host on it when asked.
class Desktop {
public:
    Desktop() : x_({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}, {}) {
        const std::string& number = x_.readUntil(holding("\n"), 20s);
        if (!number.empty()) display_ = ":" + number.substr(0, number.find('\n'));
    }
    const std::string& display() const { return display_; }

    // Starts the tray host and returns once its panel is up: Wine's explorer.exe docks its icons
    // in the tray that is there when it starts, and draws a tray of its own otherwise.
    [[nodiscard]] bool startTray() {
        tray_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", "200", "--heighttype", "pixel", "--height", "32"},
            std::vector<std::string>{"DISPLAY=" + display_});
        return eventually([&] { return tree().find(R"(("panel" "trayer"))") != std::string::npos; });
    }

    std::string tree() const { return x({"/usr/bin/xwininfo", "-root", "-tree"}); }

    std::string x(std::vector<std::string> args) const {
        return run(std::move(args), {"DISPLAY=" + display_}, 10s).output;
    }

    // Wine's tray icons docked in the tray host: windows of Wine's explorer.exe inside another
    // program's window (trayer's panel), with their place on the screen.
    std::vector<std::string> trayIcons() const {
        std::vector<std::string> icons;
        std::istringstream windows(tree());
        // Nested lines such as:      0x600008 (has no name): ("explorer.exe" "explorer.exe")  20x30+0+0  +1003+1
        static const std::regex icon(
            R"(^ {9,}0x[0-9a-f]+ .*\("explorer\.exe" "explorer\.exe"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$)");
        for (std::string line; std::getline(windows, line);) {
            std::smatch m;
            if (std::regex_match(line, m, icon) && std::stoi(m[1]) >= 8 && std::stoi(m[2]) >= 8)
                icons.push_back(m[3].str() + " " + m[4].str());
        }
        return icons;
    }

    // Tally's visible top-level windows (the menu, a dialog): where each is, as "X Y W H".
    std::vector<std::string> visibleWindows() const {
        std::vector<std::string> windows;
        std::istringstream ids(x({"/usr/bin/xdotool", "search", "--onlyvisible", "--classname", "tally.exe"}));
        for (std::string id; std::getline(ids, id);) {
            std::istringstream shell(x({"/usr/bin/xdotool", "getwindowgeometry", "--shell", id}));
            std::map<std::string, std::string> at;
            for (std::string line; std::getline(shell, line);)
                if (const auto eq = line.find('='); eq != std::string::npos) at[line.substr(0, eq)] = line.substr(eq + 1);
            windows.push_back(at["X"] + " " + at["Y"] + " " + at["WIDTH"] + " " + at["HEIGHT"]);
        }
        return windows;
    }

    // A dialog of Tally's: a visible window in the middle of the screen (the menu hangs from the
    // tray at its top); its centre, to point at.
    std::optional<std::pair<int, int>> dialog() const {
        for (const auto& window : visibleWindows()) {
            std::istringstream in(window);
            int x = 0, y = 0, w = 0, h = 0;
            in >> x >> y >> w >> h;
            if (y > 100) return std::pair{x + w / 2, y + h / 2};
        }
        return std::nullopt;
    }

    static std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

private:
    Process x_;
    std::unique_ptr<Process> tray_;
    std::string display_;
};

// What a test that shows windows needs: a Tally home, a Wine prefix of its own (Wine's
// explorer.exe, which every window needs, serves the one X display it was started on, and some
// tests restart the prefix's Wine server) and an X server.
struct Stage {
    TallyHome home;
    WinePrefix prefix{home.file("prefix")};
    Desktop desktop;

    bool ready() const { return prefix.made() && !desktop.display().empty(); }
    std::vector<std::string> environment() const { return prefix.environment({"DISPLAY=" + desktop.display()}); }
};

// What every test needs before it starts.
#define REQUIRE_WINDOWS_BUILD()                                                                         \
    const std::string exe = fromEnvironment("TALLY_WINDOWS_EXE");                                        \
    ASSERT_FALSE(exe.empty()) << "TALLY_WINDOWS_EXE names no tally.exe (run it from the windows-wine build)"; \
    for (const char* program : {"/usr/bin/Xvfb", "/usr/bin/trayer", "/usr/bin/xdotool", "/usr/bin/xwininfo"}) \
        ASSERT_TRUE(fs::exists(program)) << program << " is missing (scripts/install-deps)"

}  // namespace

TEST(WindowsApp, printsItsVersionAndHelpIntoAFile) {
    REQUIRE_WINDOWS_BUILD();
    WinePrefix prefix;
    ASSERT_TRUE(prefix.made());
    TallyHome home;
    // Straight from Wine, its standard output a pipe.
    const Ran version = run({wine, exe, "--version"}, prefix.environment());
    EXPECT_EQ(version.output, "tally 0.1.0\n");
    EXPECT_TRUE(exitedWith(version.status, 0));
    // From Windows' own console, into a file: cmd waits for the program and its output stays in
    // the file (it is not taken over by the console).
    const std::string out = home.file("help.txt");
    const Ran help = run({wine, "cmd", "/c", exe, "--help", ">", windowsPath(out)}, prefix.environment());
    EXPECT_TRUE(exitedWith(help.status, 0)) << help.output;
    std::ifstream file(out);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_THAT(text, testing::AllOf(HasSubstr("--port <path>"), HasSubstr("--quit")));
    const Ran wrong = run({wine, exe, "--port"}, prefix.environment());
    EXPECT_THAT(wrong.output, HasSubstr("--port needs the path of a serial port"));
    EXPECT_TRUE(exitedWith(wrong.status, 2));
}

TEST(WindowsApp, followsTheSimulationOnTheLightAndQuitsOnRequest) {
    REQUIRE_WINDOWS_BUILD();
    const Stage stage;
    ASSERT_TRUE(stage.ready());
    VirtualLight light(stage.home.file("light.txt"));
    ASSERT_FALSE(light.path().empty());
    const auto environment = stage.environment();

    Process tally({wine, exe, "--simulate", "--port", windowsPath(light.path())}, environment);
    ASSERT_THAT(tally.readUntil(holding("light state: Busy"), 60s), HasSubstr("light state: Busy"));
    ASSERT_TRUE(light.eventuallyLast("C 255 0 0")) << "the simulation's Busy on the light";
    EXPECT_THAT(light.received(), testing::Contains("C 0 255 0")) << "and Available before it";

    // A second start is answered by the first, through the named pipe, and ends at once.
    const Ran second = run({wine, exe}, environment);
    EXPECT_EQ(second.output, "Tally is already running\n");
    EXPECT_TRUE(exitedWith(second.status, 0));

    const Ran quit = run({wine, exe, "--quit"}, environment);
    EXPECT_EQ(quit.output, "Tally quits\n");
    EXPECT_TRUE(exitedWith(quit.status, 0));
    EXPECT_TRUE(exitedWith(tally.waitFor(30s), 0));
    EXPECT_EQ(light.lastReceived(), "OFF");
    EXPECT_EQ(run({wine, exe, "--quit"}, environment).output, "Tally is not running\n");
}

TEST(WindowsApp, aKilledTallysLockIsTakenOverWhateverNowHasItsNumber) {
    REQUIRE_WINDOWS_BUILD();
    const Stage stage;
    ASSERT_TRUE(stage.ready());
    const auto environment = stage.environment();
    {
        VirtualLight light(stage.home.file("light.txt"));
        Process tally({wine, exe, "--simulate", "--port", windowsPath(light.path())}, environment);
        ASSERT_TRUE(eventually([&] { return !light.received().empty(); }, 60s)) << "the first Tally never ran";
        tally.stop();  // killed: its lock stays behind
    }
    // A new Wine server numbers its processes anew: the dead Tally's number soon belongs to
    // another process (here the new Tally itself), which Qt's own check takes for a running Tally.
    (void)run({"/usr/bin/wineserver", "-k"}, environment, 20s);
    VirtualLight light(stage.home.file("light2.txt"));
    Process tally({wine, exe, "--simulate", "--port", windowsPath(light.path())}, environment);
    ASSERT_TRUE(eventually([&] { return !light.received().empty(); }, 60s)) << tally.readUntil(never, 1s);
    EXPECT_EQ(run({wine, exe, "--quit"}, environment).output, "Tally quits\n");
    EXPECT_TRUE(exitedWith(tally.waitFor(30s), 0));
}

TEST(WindowsApp, theTrayMenuWorksAndStartAtLoginWritesTheRunValue) {
    REQUIRE_WINDOWS_BUILD();
    Stage stage;
    ASSERT_TRUE(stage.ready());
    auto& [home, prefix, desktop] = stage;
    const std::string run = R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Run)";
    ASSERT_TRUE(desktop.startTray()) << "trayer did not start";
    VirtualLight light(home.file("light.txt"));
    Process tally({wine, exe, "--simulate", "--port", windowsPath(light.path())}, stage.environment());
    ASSERT_TRUE(eventually([&] { return !light.received().empty(); }, 60s)) << "the light heard nothing";

    std::vector<std::string> icons;
    ASSERT_TRUE(eventually([&] { return !(icons = desktop.trayIcons()).empty(); }, 60s)) << "no icon in the tray";
    ASSERT_EQ(icons.size(), 1u);
    // The icon moves once the tray host has laid it out: it is looked up before each click. A
    // click that comes while it is still being docked is lost, as a person's would be: it is
    // made again, up to four times.
    const auto openMenu = [&](const char* button) {
        for (int click = 0; click < 4; ++click) {
            const auto now = desktop.trayIcons();
            if (now.size() != 1) return false;
            std::istringstream at(now.front());
            int x = 0, y = 0;
            at >> x >> y;
            desktop.x({"/usr/bin/xdotool", "mousemove", std::to_string(x + 8), std::to_string(y + 8), "click", button});
            if (eventually([&] { return !desktop.visibleWindows().empty(); }, 5s)) return true;
        }
        return false;
    };

    // The items, from the top: Teams, the light, Brightness, Pause light, Any call, Test colours,
    // Start at login. A left click opens the menu too, as on Windows.
    ASSERT_TRUE(openMenu("1")) << "a left click did not open the menu; under the pointer:\n"
                               << desktop.x({"/usr/bin/xdotool", "getmouselocation", "--shell"}) << "the windows:\n"
                               << desktop.tree();
    desktop.x({"/usr/bin/xdotool", "key", "Escape"});
    ASSERT_TRUE(eventually([&] { return desktop.visibleWindows().empty(); })) << "Escape did not close it";

    ASSERT_TRUE(openMenu("3")) << "a right click did not open the menu";
    desktop.x({"/usr/bin/xdotool", "key", "Up", "Up", "Up", "Return"});  // from the bottom: Quit, View log, Start at login
    std::optional<std::pair<int, int>> question;
    ASSERT_TRUE(eventually([&] { return (question = desktop.dialog()).has_value(); }, 20s))
        << "no question before adding";
    // Without a window manager the keys go to the window under the pointer.
    desktop.x({"/usr/bin/xdotool", "mousemove", std::to_string(question->first), std::to_string(question->second),
               "key", "Return"});  // "Add", the default
    EXPECT_TRUE(eventually([&] { return prefix.registryValue(run, "Tally").find("tally.exe") != std::string::npos; },
                           30s))
        << "no Run value";

    ASSERT_TRUE(openMenu("3"));
    desktop.x({"/usr/bin/xdotool", "key", "Up", "Up", "Up", "Return"});  // unticked: removed at once
    EXPECT_TRUE(eventually([&] { return prefix.registryValue(run, "Tally").empty(); }, 30s)) << "the Run value stays";

    ASSERT_TRUE(openMenu("3"));
    desktop.x({"/usr/bin/xdotool", "key", "Up", "Return"});  // Quit Tally
    EXPECT_TRUE(exitedWith(tally.waitFor(30s), 0)) << "Quit Tally did not end it";
    EXPECT_EQ(light.lastReceived(), "OFF");
}

TEST(WindowsApp, thePackageRunsInAnEmptyPrefix) {
    REQUIRE_WINDOWS_BUILD();
    const std::string build = fromEnvironment("TALLY_WINDOWS_PACKAGE_DIR");
    ASSERT_FALSE(build.empty());
    TallyHome home;
    // The ZIP as CPack makes it, unpacked where nothing else of the build is.
    const Ran packed = run({fromEnvironment("TALLY_CPACK"), "-G", "ZIP", "-B", home.file("package"), "--config", build + "/CPackConfig.cmake"},
                           {}, 300s);
    ASSERT_TRUE(exitedWith(packed.status, 0)) << packed.output;
    std::string zip;
    for (const auto& entry : fs::directory_iterator(home.file("package")))
        if (entry.path().extension() == ".zip") zip = entry.path();
    ASSERT_FALSE(zip.empty()) << packed.output;
    fs::create_directories(home.file("unpacked"));
    ASSERT_TRUE(exitedWith(run({fromEnvironment("TALLY_CMAKE"), "-E", "chdir", home.file("unpacked"), fromEnvironment("TALLY_CMAKE"), "-E", "tar", "xf", zip}, {}).status, 0));
    std::string unpacked;
    for (const auto& entry : fs::recursive_directory_iterator(home.file("unpacked")))
        if (entry.path().filename() == "tally.exe") unpacked = entry.path();
    ASSERT_FALSE(unpacked.empty()) << "no tally.exe in the ZIP";
    EXPECT_TRUE(fs::exists(fs::path(unpacked).parent_path() / "firmware" / "light.py"));

    WinePrefix prefix(home.file("prefix"));
    ASSERT_TRUE(prefix.made()) << "wineboot could not make an empty prefix";
    const Ran version = run({wine, unpacked, "--version"}, prefix.environment());
    EXPECT_EQ(version.output, "tally 0.1.0\n") << "a DLL or plugin missing from the package stops it here";
    EXPECT_TRUE(exitedWith(version.status, 0));

    Desktop desktop;
    VirtualLight light(home.file("light.txt"));
    const auto environment = prefix.environment({"DISPLAY=" + desktop.display()});
    Process tally({wine, unpacked, "--simulate", "--port", windowsPath(light.path())}, environment);
    ASSERT_TRUE(eventually([&] { return light.lastReceived() == "C 0 255 0"; }, 60s)) << "the light shows nothing";
    EXPECT_TRUE(exitedWith(run({wine, unpacked, "--quit"}, environment).status, 0));
    EXPECT_TRUE(exitedWith(tally.waitFor(30s), 0));
    EXPECT_EQ(light.lastReceived(), "OFF");
    EXPECT_THAT(prefix.activityLog(), HasSubstr("Tally started"));
}
