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

// Overlapped I/O: the wait for input is WaitCommEvent on EV_RXCHAR, armed before looking at the
// input queue, and the read comes only once the queue holds bytes, so that it returns at once.
// (Wine 8 leaves an overlapped read of an empty queue pending, whatever the port's time-outs,
// and its "return on the first byte" time-outs wait out their whole constant.)
class WindowsSerialLink final : public SerialLink {
public:
    explicit WindowsSerialLink(HANDLE port)
        : port_(port), io_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          arrived_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WindowsSerialLink() override {
        ::CloseHandle(port_);  // drops DTR too
        for (const HANDLE event : {io_, arrived_})
            if (event) ::CloseHandle(event);
    }
    WindowsSerialLink(const WindowsSerialLink&) = delete;
    WindowsSerialLink& operator=(const WindowsSerialLink&) = delete;

    bool write(std::string_view bytes) override {
        OVERLAPPED op = fresh(io_);
        DWORD written = 0;
        if (!::WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &op)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;
            if (::WaitForSingleObject(io_, 1000) != WAIT_OBJECT_0) {
                cancel(op);
                return false;
            }
            if (!::GetOverlappedResult(port_, &op, &written, FALSE)) return false;
        }
        return written == bytes.size();
    }

    bool read(std::string& into, std::size_t max, double timeout) override {
        const ULONGLONG deadline = ::GetTickCount64() + milliseconds(timeout);
        for (;;) {
            const std::optional<DWORD> waiting = queued();
            if (!waiting) return false;  // the device is gone
            if (*waiting > 0) return readQueued(into, std::min<std::size_t>(max, *waiting));
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline) return false;
            OVERLAPPED op = fresh(arrived_);
            DWORD mask = 0;
            if (!::WaitCommEvent(port_, &mask, &op)) {
                if (::GetLastError() != ERROR_IO_PENDING) return false;
                // Bytes that came between the look above and arming the wait did not signal it.
                const auto late = queued();
                if (!late || *late == 0) ::WaitForSingleObject(arrived_, static_cast<DWORD>(deadline - now));
                endWait(op);
            }
        }
    }

private:
    static OVERLAPPED fresh(HANDLE event) {
        ::ResetEvent(event);
        OVERLAPPED op{};
        op.hEvent = event;
        return op;
    }

    // A pending operation is cancelled and waited for before its OVERLAPPED goes away.
    void cancel(OVERLAPPED& op) {
        ::CancelIoEx(port_, &op);
        DWORD ignored = 0;
        ::GetOverlappedResult(port_, &op, &ignored, TRUE);
    }

    // A pending WaitCommEvent ends when the event mask is set again, as the documentation has
    // it and Wine does.
    void endWait(OVERLAPPED& op) {
        if (HasOverlappedIoCompleted(&op)) return;  // a macro
        ::SetCommMask(port_, EV_RXCHAR);
        if (::WaitForSingleObject(op.hEvent, 1000) != WAIT_OBJECT_0) cancel(op);
    }

    // The bytes waiting in the input queue; none if the port fails (the device is gone).
    std::optional<DWORD> queued() {
        COMSTAT status{};
        DWORD errors = 0;
        if (!::ClearCommError(port_, &errors, &status)) return std::nullopt;
        return status.cbInQue;
    }

    // Reads bytes that are known to be there, which returns at once.
    bool readQueued(std::string& into, std::size_t count) {
        char chunk[256];
        OVERLAPPED op = fresh(io_);
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min(count, sizeof chunk));
        if (!::ReadFile(port_, chunk, want, &got, &op)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;
            if (::WaitForSingleObject(io_, 1000) != WAIT_OBJECT_0) {
                cancel(op);
                return false;
            }
            if (!::GetOverlappedResult(port_, &op, &got, FALSE)) return false;
        }
        into.append(chunk, got);
        return got > 0;
    }

    HANDLE port_;
    HANDLE io_;       // reads and writes
    HANDLE arrived_;  // the wait for input
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
                  : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND  ? SerialOpenFailure::missing
                                                                                    : SerialOpenFailure::cannotOpen;
        return nullptr;
    }
    // A file named with --port is no light, and neither is a character device that takes no
    // serial settings (NUL, CON).
    DCB settings{};
    settings.DCBlength = sizeof settings;
    const bool serial = ::GetFileType(port) == FILE_TYPE_CHAR && ::GetCommState(port, &settings);
    if (serial) {
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
        settings.fAbortOnError = FALSE;  // else one line error stops every read and write until cleared
        settings.fDtrControl = DTR_CONTROL_ENABLE;  // the board answers only while DTR is up
        settings.fRtsControl = RTS_CONTROL_ENABLE;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is there
    if (!serial || !::SetCommState(port, &settings) || !::SetCommTimeouts(port, &timeouts)) {
        ::CloseHandle(port);
        failure = SerialOpenFailure::notADevice;
        return nullptr;
    }
    ::SetCommMask(port, EV_RXCHAR);
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    failure = SerialOpenFailure::none;
    return std::make_unique<WindowsSerialLink>(port);
}

}  // namespace tally::platform
