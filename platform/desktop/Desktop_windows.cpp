#include "Desktop.h"

#include <cstdio>

#include <windows.h>

namespace tally::platform::Desktop {

// The native platform needs no display to be named.
std::optional<std::string> qtPlatforms() { return std::nullopt; }

std::string displayName() { return {}; }

void becomeMenuBarOnly() {}
std::string teamsFolderNote() { return {}; }
void leaveMenuBar() {}

// Windows' habit: a left click on a tray icon opens its menu too; Tally does that.
bool trayClickOpensMenu() { return false; }

// Windows lets the application the person just clicked come forward; the alert also stays on
// top (Qt's stays-on-top), so nothing more is asked here.
void bringToFront() {}

void bringMenuToFront(std::uintptr_t window) { ::SetForegroundWindow(reinterpret_cast<HWND>(window)); }

namespace {

// Output already going to a file or a pipe ("tally --version > out.txt") stays there.
bool redirected(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = ::GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

// The console's output for one stream, both for the C library and for the Win32 handle that
// writeStandardOutput uses.
void toConsole(DWORD which, FILE* stream) {
    if (redirected(which)) return;
    const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    ::SetStdHandle(which, console);
    std::freopen("CONOUT$", "w", stream);
}

}  // namespace

void useParentConsole() {
    // A GUI program has no console of its own: what it prints goes to the one it was started
    // from, if any, as UTF-8 (the activity log's words are).
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    ::SetConsoleOutputCP(CP_UTF8);
    toConsole(STD_OUTPUT_HANDLE, stdout);
    toConsole(STD_ERROR_HANDLE, stderr);
}

}  // namespace tally::platform::Desktop
