#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CaptureWatch.h"

namespace tally::platform {

// Windows: one program's entry in the privacy store, under its key name there: a package
// family ("Microsoft.WindowsCamera_8wekyb3d8bbwe") or, under NonPackaged, a path with '#' for
// '\' ("C:#Program Files#Zoom#bin#Zoom.exe").
struct ConsentEntry {
    std::string key;
    std::uint64_t lastUsedStart = 0;  // FILETIME; 0 when never used
    std::uint64_t lastUsedStop = 0;   // 0 while in use
};
// The names of the programs using the device now: a start without a stop.
std::vector<std::string> programsInUse(const std::vector<ConsentEntry>& entries);

// The store's place under HKEY_CURRENT_USER; tests give their own.
inline constexpr const wchar_t* consentStore =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore";
std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, const std::wstring& store);

}  // namespace tally::platform
