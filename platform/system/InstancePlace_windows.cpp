#include "InstancePlace.h"

#include <filesystem>

#include <windows.h>

#include <sddl.h>

#include "Files.h"
#include "HomeDirectory.h"
#include "Utf16.h"

namespace tally::platform {

namespace {

// The user's security identifier as text ("S-1-5-21-…"): the same for every build of Tally,
// and another user's is another.
std::string userSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::string sid;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        LPWSTR text = nullptr;
        if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = narrow(text);
            ::LocalFree(text);
        }
    }
    ::CloseHandle(token);
    return sid;
}

}  // namespace

InstancePlace instancePlace() {
    const std::string appData = localAppData();
    if (appData.empty()) return {{}, {}, "the local application data folder is unknown"};
    const std::string folder = Files::join(appData, "Tally");  // beside the activity log
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(wide(folder)), error);
    if (error) return {{}, {}, folder + " cannot be made (" + error.message() + ")"};
    const std::string sid = userSid();
    return {folder, "Tally-" + (sid.empty() ? std::string("user") : sid), {}};
}

// Qt's lock takes a number reused by the process that asks (a Wine restarted, say) or by a
// system process, whose name it reads with a right those refuse, for a running Tally: no Tally
// would start until the next restart. Windows reuses numbers soon. The limited right is enough.
bool lockHolderRuns(long long pid, const std::string& program) {
    if (pid == ::GetCurrentProcessId()) return false;  // the number is ours now: the holder is gone
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return false;  // gone, or not the user's
    DWORD code = 0;
    bool runs = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    wchar_t path[MAX_PATH * 2];
    DWORD size = static_cast<DWORD>(std::size(path));
    if (runs && ::QueryFullProcessImageNameW(process, 0, path, &size)) {
        std::wstring name = path;
        name = name.substr(name.find_last_of(L"\\/") + 1);
        if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0) name.resize(name.size() - 4);
        runs = _wcsicmp(name.c_str(), wide(program).c_str()) == 0;
    }
    ::CloseHandle(process);
    return runs;
}

}  // namespace tally::platform
