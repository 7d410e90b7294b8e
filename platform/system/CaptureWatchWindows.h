#pragma once

#include <cstdint>
#include <functional>
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

// A program's name from its image's path: "C:\Program Files\Zoom\bin\Zoom.exe" is "Zoom".
std::string programOfImage(const std::string& path);
// The name of the program a process runs; "" when it cannot be told.
std::string programOfProcess(unsigned long pid);

// The microphone as the recording devices' audio sessions tell it (Windows 7 and later):
// `report` hears, on a thread of the watcher's, the programs whose sessions are active at each
// change ("" for one whose process cannot be named). None where the system cannot list the
// recording devices or their sessions (Wine 8 lists devices but no sessions). Watching ends
// with the returned object.
class MicrophoneSessions {
public:
    virtual ~MicrophoneSessions() = default;
};
std::unique_ptr<MicrophoneSessions> watchMicrophoneSessions(std::function<void(std::vector<std::string>)> report);

// The cameras as Media Foundation's sensor activity monitor tells them (Windows 10 1703 and
// later): `report` hears, on a thread of Media Foundation's, the programs streaming from any
// camera at each change. None where the system has no such monitor (older Windows, Wine).
class CameraSensors {
public:
    virtual ~CameraSensors() = default;
};
std::unique_ptr<CameraSensors> watchCameraSensors(std::function<void(std::vector<std::string>)> report);

// The store's place under HKEY_CURRENT_USER; tests give their own. With `documentedWays`, the
// microphone comes from the audio sessions and the camera from the sensor activity monitor
// where the system offers them, and the store is read for the rest.
inline constexpr const wchar_t* consentStore =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore";
std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, const std::wstring& store, bool documentedWays);

}  // namespace tally::platform
