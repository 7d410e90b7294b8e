#pragma once

// The Windows tests run under Wine, which also runs Linux programs: this is how they start the
// Linux virtual light and tell it where to write. None of it exists on a real Windows.
#ifdef _WIN32

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <windows.h>

namespace tally::test::Wine {

// The Unix path of a Windows path; none outside Wine.
inline std::optional<std::string> unixPath(const std::string& windowsPath) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return std::nullopt;
    const std::wstring wide(windowsPath.begin(), windowsPath.end());  // the tests' paths are ASCII
    char* path = convert(wide.c_str());
    if (!path) return std::nullopt;
    std::string result = path;
    ::HeapFree(::GetProcessHeap(), 0, path);
    return result;
}

// The Windows path Wine gives a Unix path: its Z: drive.
inline std::string windowsPath(const std::string& unix) {
    std::string path = "Z:" + unix;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// A variable of the environment the test was started with ("" when unset).
inline std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Quoted for /bin/sh.
inline std::string quoted(const std::string& word) {
    std::string text = "'";
    for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

// Runs a shell command line as a Linux process; with `wait`, until it ends.
inline bool shell(const std::string& command, bool wait) {
    std::string utf8 = "/bin/sh -c \"";
    for (const char c : command) {
        if (c == '"') utf8 += '\\';  // Windows' rule; backslashes elsewhere are plain
        utf8 += c;
    }
    utf8 += "\"";
    std::wstring line(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, line.data(), static_cast<int>(line.size()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    if (wait) ::WaitForSingleObject(process.hProcess, 30'000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

}  // namespace tally::test::Wine

#endif
