#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tally::platform {

// What the application asks of the desktop it runs on.
namespace Desktop {

// The Qt platforms to try, in order (Qt takes a list separated by ';'), when Tally must say
// more than Qt's own choice: on X11 and Wayland systems the offscreen one comes last, so that
// a display that is missing or cannot be reached leaves Tally running without a tray instead
// of aborting it. None where the native platform needs no display (macOS), or where the
// offscreen one is chosen already.
std::optional<std::string> qtPlatforms();
// The display the environment names, for the activity log ("DISPLAY=:0"); empty for none.
std::string displayName();
// No Dock icon and no application menu: the application lives in the menu bar (macOS), and
// is not napped there: its timers stay on time until leaveMenuBar() at quit.
void becomeMenuBarOnly();
void leaveMenuBar();
// Whether a click on the tray item opens its menu by itself (macOS); elsewhere Tally opens it,
// so that a left click works as well as a right one.
bool trayClickOpensMenu();
// Brings the application to the front, for an alert that must be answered.
void bringToFront();
// Makes the menu just opened from the tray the foreground window (Windows, where only then
// does a click elsewhere close it); `window` is its native handle. Nothing elsewhere.
void bringMenuToFront(std::uintptr_t window);
// Opens a file with the desktop's default application for it; false if nothing could.
bool openFile(const std::string& path);
// Where the user can let Tally read the Teams logs: the full-disk-access settings on macOS,
// the nearest existing folder above the log folder elsewhere.
void openPrivacySettings(const std::string& teamsLogDirectory);
// The menu item for that, in this system's words.
std::string unreadableLogsItem();
// What the system will ask before Tally may read the Teams log folder, said in the activity log
// at start so that the question comes as no surprise; empty where nothing is asked.
std::string teamsFolderNote();
// What this kind of computer is called in the activity log ("Mac going to sleep").
std::string machineName();
// Windows: print into the console Tally was started from, if any (a GUI program has none of
// its own), unless the output goes to a file or a pipe already; nothing elsewhere. Called only
// when Tally will print: attached, it hears that console's Ctrl+C and its closing.
void useParentConsole();

}  // namespace Desktop

}  // namespace tally::platform
