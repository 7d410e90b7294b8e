#pragma once

#include <string>

namespace tally::platform {

// What the application asks of the desktop it runs on.
namespace Desktop {

// The Qt platform to use instead of the default one, if any: on X11 and Wayland systems with
// neither a display nor a chosen platform, the offscreen one, so that Tally runs on without a
// tray instead of failing to start. Elsewhere (macOS) none: no DISPLAY is normal there.
const char* fallbackQtPlatform();
// No Dock icon and no application menu: the application lives in the menu bar (macOS).
void becomeMenuBarOnly();
// Whether a click on the tray item opens its menu by itself (macOS); elsewhere Tally opens it,
// so that a left click works as well as a right one.
bool trayClickOpensMenu();
// Brings the application to the front, for an alert that must be answered.
void bringToFront();
// Opens a file with the desktop's default application for it.
void openFile(const std::string& path);
// Where the user can let Tally read the Teams logs: the full-disk-access settings on macOS,
// the nearest existing folder above the log folder elsewhere.
void openPrivacySettings(const std::string& teamsLogDirectory);

}  // namespace Desktop

}  // namespace tally::platform
