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

}  // namespace tally::platform
