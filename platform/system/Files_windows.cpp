#include "Files.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <windows.h>

#include "Utf16.h"

namespace tally::platform::Files {

namespace {

// Teams keeps writing, renaming and deleting its logs while Tally reads them: all three
// sharing modes, or Tally's read would get in its way.
constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

double unixSeconds(const FILETIME& time) {
    const ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
    return static_cast<double>(ticks.QuadPart) / 1e7 - 11644473600.0;  // 100 ns since 1601
}

}  // namespace

std::string join(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string path = folder;
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    path += name;
    return path;
}

bool isNamed(std::string_view name, std::string_view prefix, std::string_view suffix) {
    const auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && ::_strnicmp(a.data(), b.data(), a.size()) == 0;
    };
    return name.size() >= prefix.size() + suffix.size() && same(name.substr(0, prefix.size()), prefix) &&
           same(name.substr(name.size() - suffix.size()), suffix);
}

std::optional<std::vector<std::string>> list(const std::string& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW(wide(join(folder, "*")).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<std::string> names;
    do names.push_back(narrow(found.cFileName));
    while (::FindNextFileW(search, &found));
    const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    if (!complete) return std::nullopt;
    return names;
}

std::optional<Info> info(const std::string& path) {
    // The entry itself, as lstat gives it: a link (a reparse point) is not followed.
    const HANDLE file = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION about{};
    const bool ok = ::GetFileInformationByHandle(file, &about) != 0;
    const DWORD type = ::GetFileType(file);
    ::CloseHandle(file);
    if (!ok) return std::nullopt;
    const bool regular = type == FILE_TYPE_DISK &&
                         !(about.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                                     FILE_ATTRIBUTE_DEVICE));
    const std::uint64_t size = (std::uint64_t{about.nFileSizeHigh} << 32) | about.nFileSizeLow;
    const std::uint64_t index = (std::uint64_t{about.nFileIndexHigh} << 32) | about.nFileIndexLow;
    return Info{unixSeconds(about.ftLastWriteTime), size, regular,
                Identity{about.dwVolumeSerialNumber, index}};
}

std::optional<std::uint64_t> readRange(const std::string& path, std::uint64_t from, std::uint64_t limit,
                                       std::size_t chunk, const std::function<void(std::string_view)>& consume) {
    const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    if (::GetFileType(file) != FILE_TYPE_DISK) {  // a device or a pipe named like a log
        ::CloseHandle(file);
        return std::nullopt;
    }
    chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, std::max<std::uint64_t>(limit, 1)));
    const auto buffer = std::make_unique<char[]>(chunk);
    std::uint64_t total = 0;
    while (total < limit) {
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(chunk, limit - total));
        OVERLAPPED at{};
        const std::uint64_t offset = from + total;
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(file, buffer.get(), want, &got, &at) || got == 0) break;
        total += got;
        consume(std::string_view(buffer.get(), got));
    }
    ::CloseHandle(file);
    return total;
}

}  // namespace tally::platform::Files
