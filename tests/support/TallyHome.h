#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"

namespace tally::test {

// Everything one Tally started by a test calls its own: a private folder with the home, the
// settings, the activity log's folder, a temporary folder and a 0700 runtime folder (Qt ignores
// a runtime folder with other permissions, and the lock of one Tally per person lives there).
// Nothing of the machine's reaches it: no display, no session or system bus, no sound server,
// and "Any call" off, unless the test asks.
class TallyHome {
public:
    struct Options {
        bool anyCall = false;
        std::string soundServer;  // the PULSE_SERVER address of a test's own server, if any
    };

    TallyHome() : TallyHome(Options{}) {}
    explicit TallyHome(Options options) : options_(std::move(options)) {
        namespace fs = std::filesystem;
        for (const char* folder : {"run", "tmp", ".config/Tally", ".local/state"})
            fs::create_directories(dir_.file(folder));
        fs::permissions(dir_.file("run"), fs::perms::owner_all);
        setAnyCall(options_.anyCall);
    }

    const TempDir& dir() const { return dir_; }
    const std::filesystem::path& path() const { return dir_.path(); }
    std::string file(std::string_view name) const { return dir_.file(name); }
    std::string runtimeFolder() const { return dir_.file("run"); }
    std::string settingsFile() const { return dir_.file(".config/Tally/Tally.conf"); }
    std::string activityLogFile() const { return dir_.file(".local/state/tally/Tally.log"); }
    // Where Tally looks for the Teams logs under this home.
    std::string teamsLogFolder() const {
        return dir_.file("Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    }

    // A sound server of the test's own (its PULSE_SERVER address) instead of none.
    void useSoundServer(std::string address) { options_.soundServer = std::move(address); }

    // Saved as the menu item saves it.
    void setAnyCall(bool on) const {
        std::ofstream(settingsFile()) << "[General]\nanyCall=" << (on ? "true" : "false") << "\n";
    }

    // The whole environment a started Tally needs, each setting overriding the test's own.
    std::vector<std::string> environment() const {
        return {"HOME=" + dir_.path().string(),
                "XDG_CONFIG_HOME=" + dir_.file(".config"),
                "XDG_STATE_HOME=" + dir_.file(".local/state"),
                "XDG_RUNTIME_DIR=" + runtimeFolder(),
                "TMPDIR=" + dir_.file("tmp"),
                "QT_QPA_PLATFORM=offscreen",
                "DISPLAY=",
                "WAYLAND_DISPLAY=",
                "XDG_SESSION_TYPE=",
                "XDG_CURRENT_DESKTOP=",
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_.file("no-session-bus"),
                "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + dir_.file("no-system-bus"),
                "PULSE_SERVER=" + (options_.soundServer.empty() ? "unix:" + dir_.file("no-sound-server")
                                                                 : options_.soundServer)};
    }

    // The environment with some settings replaced ("DISPLAY=:99").
    std::vector<std::string> environmentWith(const std::vector<std::string>& more) const {
        auto environment = this->environment();
        for (const auto& setting : more) {
            const auto name = setting.substr(0, setting.find('=') + 1);
            std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name); });
            environment.push_back(setting);
        }
        return environment;
    }

    std::string activityLog() const {
        std::ifstream log(activityLogFile());
        return std::string(std::istreambuf_iterator<char>(log), {});
    }

private:
    Options options_;
    TempDir dir_;
};

}  // namespace tally::test
