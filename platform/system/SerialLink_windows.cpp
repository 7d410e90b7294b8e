#include "SerialLink.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <windows.h>

#include "Utf16.h"

namespace tally::platform {

namespace {

// "COM10" and above open only as "\\.\COM10"; any other path (Wine's Z:\dev\pts\N) as it is.
std::wstring devicePath(const std::string& path) {
    const bool bareCom = path.size() > 3 && _strnicmp(path.c_str(), "COM", 3) == 0 &&
                         path.find_first_of("\\/:") == std::string::npos;
    return wide(bareCom ? "\\\\.\\" + path : path);
}

DWORD milliseconds(double seconds) {
    return static_cast<DWORD>(std::clamp(std::ceil(seconds * 1000), 0.0, 3'600'000.0));
}

// Overlapped I/O: a read that waits for the first byte (WaitCommEvent on EV_RXCHAR) and then
// takes what is there at once. The port's own "return on the first byte" time-outs wait out
// their whole constant under Wine, so the waiting is done here.
class WindowsSerialLink final : public SerialLink {
public:
    explicit WindowsSerialLink(HANDLE port)
        : port_(port), event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WindowsSerialLink() override {
        ::CloseHandle(port_);  // drops DTR too
        if (event_) ::CloseHandle(event_);
    }
    WindowsSerialLink(const WindowsSerialLink&) = delete;
    WindowsSerialLink& operator=(const WindowsSerialLink&) = delete;

    bool write(std::string_view bytes) override {
        OVERLAPPED op = fresh();
        DWORD written = 0;
        if (!::WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &op)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;
            if (::WaitForSingleObject(event_, 1000) != WAIT_OBJECT_0) {
                cancel(op);
                return false;
            }
            if (!::GetOverlappedResult(port_, &op, &written, FALSE)) return false;
        }
        return written == bytes.size();
    }

    bool read(std::string& into, std::size_t max, double timeout) override {
        if (const auto got = readNow(into, max); !got || *got > 0) return got.has_value();
        OVERLAPPED op = fresh();
        DWORD mask = 0;
        if (!::WaitCommEvent(port_, &mask, &op)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;  // the device is gone
            // Bytes that came between the look above and arming the wait did not signal it.
            if (queued() == 0 && ::WaitForSingleObject(event_, milliseconds(timeout)) != WAIT_OBJECT_0) {
                cancel(op);
                return false;
            }
            if (!HasOverlappedIoCompleted(&op)) cancel(op);  // a macro
        }
        const auto got = readNow(into, max);
        return got && *got > 0;
    }

private:
    OVERLAPPED fresh() {
        ::ResetEvent(event_);
        OVERLAPPED op{};
        op.hEvent = event_;
        return op;
    }

    // A pending operation is cancelled and waited for before its OVERLAPPED goes away.
    void cancel(OVERLAPPED& op) {
        ::CancelIoEx(port_, &op);
        DWORD ignored = 0;
        ::GetOverlappedResult(port_, &op, &ignored, TRUE);
    }

    DWORD queued() {
        COMSTAT status{};
        DWORD errors = 0;
        return ::ClearCommError(port_, &errors, &status) ? status.cbInQue : 0;
    }

    // What has arrived, without waiting (the port's time-outs say return at once); none if the
    // read failed.
    std::optional<DWORD> readNow(std::string& into, std::size_t max) {
        char chunk[256];
        OVERLAPPED op = fresh();
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min(max, sizeof chunk));
        if (!::ReadFile(port_, chunk, want, &got, &op)) {
            if (::GetLastError() != ERROR_IO_PENDING) return std::nullopt;
            if (!::GetOverlappedResult(port_, &op, &got, TRUE)) return std::nullopt;
        }
        into.append(chunk, got);
        return got;
    }

    HANDLE port_;
    HANDLE event_;
};

}  // namespace

std::unique_ptr<SerialLink> openSerialLink(const std::string& path, SerialOpenFailure& failure) {
    // No sharing: Windows opens a port for one program at a time anyway.
    const HANDLE port = ::CreateFileW(devicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A port another program holds answers "access denied".
        failure = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? SerialOpenFailure::inUse
                                                                                   : SerialOpenFailure::cannotOpen;
        return nullptr;
    }
    if (::GetFileType(port) != FILE_TYPE_CHAR) {  // a file named with --port is no light
        ::CloseHandle(port);
        failure = SerialOpenFailure::notADevice;
        return nullptr;
    }
    DCB settings{};
    settings.DCBlength = sizeof settings;
    ::GetCommState(port, &settings);
    settings.BaudRate = CBR_115200;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;  // the board answers only while DTR is up
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    ::SetCommState(port, &settings);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is there
    ::SetCommTimeouts(port, &timeouts);
    ::SetCommMask(port, EV_RXCHAR);
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    failure = SerialOpenFailure::none;
    return std::make_unique<WindowsSerialLink>(port);
}

}  // namespace tally::platform
