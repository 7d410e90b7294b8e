#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>

#include <windows.h>
#include <setupapi.h>

#include "SerialPorts.h"
#include "SerialPortsWindows.h"
#include "Utf16.h"

namespace tally::platform {

namespace {

// GUID_DEVINTERFACE_COMPORT, the interface every serial port presents.
constexpr GUID comPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> multiString(const std::vector<wchar_t>& data) {
    std::vector<std::string> strings;
    for (std::size_t at = 0; at < data.size() && data[at] != L'\0';) {
        const std::wstring_view one(&data[at]);
        strings.push_back(narrow(one));
        at += one.size() + 1;
    }
    return strings;
}

std::vector<ComPort> comPorts() {
    std::vector<ComPort> ports;
    const HDEVINFO devices = ::SetupDiGetClassDevsW(&comPortInterface, nullptr, nullptr,
                                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        ComPort port;
        std::vector<wchar_t> ids(1024, L'\0');
        if (::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, nullptr,
                                                reinterpret_cast<BYTE*>(ids.data()),
                                                static_cast<DWORD>(ids.size() * sizeof(wchar_t) - 2), nullptr))
            port.hardwareIds = multiString(ids);
        if (const HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            key != INVALID_HANDLE_VALUE) {
            wchar_t name[64] = L"";
            DWORD size = sizeof name - sizeof(wchar_t);
            DWORD type = 0;
            if (::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ)
                port.portName = narrow(name);
            ::RegCloseKey(key);
        }
        if (!port.portName.empty()) ports.push_back(std::move(port));
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return ports;
}

// Whether a hardware id names this identity, alone or followed by more ("&REV_0100", "&MI_00").
bool names(const std::string& hardwareId, UsbId id) {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "USB\\VID_%04X&PID_%04X", id.vendorId, id.productId);
    const std::string text = upper(hardwareId);
    const std::size_t length = std::strlen(wanted);
    return text.starts_with(wanted) && (text.size() == length || text[length] == '&');
}

}  // namespace

std::vector<UsbSerialPort> lightPortsAmong(const std::vector<ComPort>& ports, const std::vector<UsbId>& ids) {
    std::vector<UsbSerialPort> found;
    for (const ComPort& port : ports) {
        const auto match = [&]() -> std::optional<UsbId> {
            for (const std::string& hardwareId : port.hardwareIds)
                for (const UsbId& id : ids)
                    if (names(hardwareId, id)) return id;
            return std::nullopt;
        }();
        if (match) found.push_back({port.portName, *match});
    }
    std::sort(found.begin(), found.end(), [](const UsbSerialPort& a, const UsbSerialPort& b) {
        return a.path.size() != b.path.size() ? a.path.size() < b.path.size() : a.path < b.path;  // COM9 before COM10
    });
    return found;
}

std::vector<UsbSerialPort> findUsbSerialPorts(const std::vector<UsbId>& ids) {
    return lightPortsAmong(comPorts(), ids);
}

std::string serialPermissionHint() { return "another program may hold the port; close it, then replug the light"; }

}  // namespace tally::platform
