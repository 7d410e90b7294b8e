#include "TeamsProcess.h"

#include <windows.h>
#include <tlhelp32.h>

namespace tally::platform {

// The new client's process image is ms-teams.exe. Only this user's session counts, as on the
// other systems: another user's Teams (fast user switching) is not ours.
bool isTeamsRunning() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry)) {
        if (::lstrcmpiW(entry.szExeFile, L"ms-teams.exe") != 0) continue;
        DWORD theirs = 0;
        found = ::ProcessIdToSessionId(entry.th32ProcessID, &theirs) && theirs == session;
    }
    ::CloseHandle(snapshot);
    return found;
}

}  // namespace tally::platform
