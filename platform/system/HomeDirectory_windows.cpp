#include "HomeDirectory.h"

#include <shlobj.h>
#include <windows.h>

#include "Utf16.h"

namespace tally::platform {

namespace {

std::string knownFolder(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path))) folder = narrow(path);
    ::CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string homeDirectory() { return knownFolder(FOLDERID_Profile); }

std::string localAppData() { return knownFolder(FOLDERID_LocalAppData); }

}  // namespace tally::platform
