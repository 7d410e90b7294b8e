#include <array>
#include <thread>

#include <windows.h>

#include "CaptureUse.h"
#include "CaptureWatchWindows.h"
#include "Utf16.h"

namespace tally::platform {

std::string programOfImage(const std::string& path) {
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".exe") == 0) name.resize(name.size() - 4);
    return name;
}

std::string programOfProcess(unsigned long pid) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return {};  // gone, or not ours to look at: a program the system did not name
    wchar_t path[MAX_PATH * 2];
    DWORD size = static_cast<DWORD>(std::size(path));
    std::string name;
    if (::QueryFullProcessImageNameW(process, 0, path, &size)) name = programOfImage(narrow(path));
    ::CloseHandle(process);
    return name;
}

std::vector<std::string> programsInUse(const std::vector<ConsentEntry>& entries) {
    std::vector<std::string> programs;
    for (const auto& entry : entries) {
        if (entry.lastUsedStart == 0 || entry.lastUsedStop != 0) continue;
        std::string name = programOfImage(entry.key.substr(entry.key.find_last_of('#') + 1));  // a path's last part
        if (name == entry.key) name = name.substr(0, name.find('_'));  // a package family's name
        programs.push_back(name);
    }
    return programs;
}

namespace {

std::uint64_t quadword(HKEY key, const wchar_t* name) {
    std::uint64_t value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_QWORD, nullptr, &value, &size) != ERROR_SUCCESS) return 0;
    return value;
}

// The entries of one device's key: its packaged programs, and those under NonPackaged.
void readEntries(HKEY device, std::vector<ConsentEntry>& entries, bool nested = false) {
    wchar_t name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumKeyExW(device, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY program = nullptr;
        if (::RegOpenKeyExW(device, name, 0, KEY_READ, &program) != ERROR_SUCCESS) continue;
        if (!nested && ::lstrcmpiW(name, L"NonPackaged") == 0)
            readEntries(program, entries, true);
        else
            entries.push_back({narrow(name), quadword(program, L"LastUsedTimeStart"), quadword(program, L"LastUsedTimeStop")});
        ::RegCloseKey(program);
    }
}

// Windows keeps, per user, when each program last started and stopped using the microphone and
// the camera. The store's keys are watched for changes, and read again at each. Its layout is
// not documented, and recent Windows 11 builds are reported to leave a program's "stop" time
// alone while it goes on recording, so the documented ways come first where Windows offers
// them: the recording devices' audio sessions for the microphone, Media Foundation's sensor
// activity monitor for the camera. The store is the fallback for each.
class WindowsCaptureWatch final : public CaptureWatch {
public:
    WindowsCaptureWatch(CaptureLog log, const std::wstring& store, bool documentedWays) : use_(std::move(log)) {
        stop_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (documentedWays) {
            sessions_ = watchMicrophoneSessions([this](std::vector<std::string> programs) {
                use_.report(CaptureUse::Device::microphone, std::move(programs));
            });
            sensors_ = watchCameraSensors([this](std::vector<std::string> programs) {
                use_.report(CaptureUse::Device::camera, std::move(programs));
            });
        }
        const wchar_t* names[] = {L"microphone", L"webcam"};
        std::vector<std::string> inStore;
        std::string missing;
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            auto& device = devices_[i];
            device.kind = i == 0 ? CaptureUse::Device::microphone : CaptureUse::Device::camera;
            device.changed = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
            if ((i == 0 && sessions_) || (i == 1 && sensors_)) continue;  // watched the documented way
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, (store + L"\\" + names[i]).c_str(), 0, KEY_READ | KEY_NOTIFY,
                                &device.key) == ERROR_SUCCESS) {
                inStore.push_back(i == 0 ? "microphone" : "camera");
            } else {
                device.key = nullptr;
                missing += std::string(missing.empty() ? "" : " and ") + narrow(names[i]);
            }
        }
        use_.log(describe(inStore, missing));
        thread_ = std::thread([this] { run(); });
    }
    ~WindowsCaptureWatch() override {
        ::SetEvent(stop_);
        thread_.join();
        for (auto& device : devices_) {
            if (device.key) ::RegCloseKey(device.key);
            ::CloseHandle(device.changed);
        }
        ::CloseHandle(stop_);
    }
    WindowsCaptureWatch(const WindowsCaptureWatch&) = delete;
    WindowsCaptureWatch& operator=(const WindowsCaptureWatch&) = delete;

    bool inUse() const override { return use_.inUse(); }
    std::vector<std::string> users() const override { return use_.users(); }
    void setIgnored(std::vector<std::string> programs) override { use_.setIgnored(std::move(programs)); }

private:
    // What the log says of the ways used, once: "call detection: microphone through the
    // recording devices' audio sessions, camera through the Windows privacy settings".
    std::string describe(const std::vector<std::string>& inStore, const std::string& missing) const {
        std::string ways;
        const auto add = [&ways](const std::string& way) { ways += (ways.empty() ? "" : ", ") + way; };
        if (sessions_) add("microphone through the recording devices' audio sessions");
        if (sensors_) add("camera through Media Foundation's sensor activity monitor");
        if (!inStore.empty())
            add(inStore.front() + (inStore.size() > 1 ? " and " + inStore.back() : "") +
                " through the Windows privacy settings");
        if (missing.empty()) return "call detection: " + ways;
        return "call detection: " + ways + (ways.empty() ? "" : "; ") + "the Windows privacy settings have no " +
               missing + " entries; that is not watched";
    }

    struct Device {
        CaptureUse::Device kind{};
        HKEY key = nullptr;
        HANDLE changed = nullptr;
    };

    // Asks for the next change first, then reads, so that none falls between the two.
    void look(Device& device) {
        if (!device.key) return;
        ::RegNotifyChangeKeyValue(device.key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                  device.changed, TRUE);
        std::vector<ConsentEntry> entries;
        readEntries(device.key, entries);
        use_.report(device.kind, programsInUse(entries));
    }

    void run() {
        for (auto& device : devices_) look(device);
        const HANDLE waits[] = {stop_, devices_[0].changed, devices_[1].changed};
        for (;;) {
            const DWORD woken = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_OBJECT_0 + 2)
                look(devices_[woken - WAIT_OBJECT_0 - 1]);
            else
                return;
        }
    }

    CaptureUse use_;
    std::unique_ptr<MicrophoneSessions> sessions_;  // these end before use_, which they report to
    std::unique_ptr<CameraSensors> sensors_;
    std::array<Device, 2> devices_{};
    HANDLE stop_ = nullptr;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, const std::wstring& store, bool documentedWays) {
    return std::make_unique<WindowsCaptureWatch>(std::move(log), store, documentedWays);
}

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log) { return watchCapture(std::move(log), consentStore, true); }

}  // namespace tally::platform
