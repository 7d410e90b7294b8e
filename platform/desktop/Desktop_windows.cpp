#include "Desktop.h"

#include <cstdio>

#include <windows.h>

namespace tally::platform::Desktop {

// The native platform needs no display to be named.
std::optional<std::string> qtPlatforms() { return std::nullopt; }

std::string displayName() { return {}; }

void becomeMenuBarOnly() {}

// Windows' habit: a left click on a tray icon opens its menu too; Tally does that.
bool trayClickOpensMenu() { return false; }

// Windows lets the application the person just clicked come forward; the alert also stays on
// top (Qt's stays-on-top), so nothing more is asked here.
void bringToFront() {}

void useParentConsole() {
    // A GUI program has no console of its own: --help and --version print into the one it was
    // started from, if any.
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

}  // namespace tally::platform::Desktop
