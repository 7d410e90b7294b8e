#include "LoginItem.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

namespace tally::platform::LoginItem {

namespace {

constexpr const wchar_t* runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Task Manager's Startup page (and Settings' Startup apps) keeps the user's choice about
// each Run entry: a binary value of the same name whose first byte is odd while the user has
// turned the entry off. Windows does not start such an entry, so Tally shows it as off.
constexpr const wchar_t* approvedKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const wchar_t* valueName = L"Tally";

bool turnedOffByTheUser() {
    BYTE data[16] = {};
    DWORD size = sizeof data;
    const LSTATUS found =
        ::RegGetValueW(HKEY_CURRENT_USER, approvedKey, valueName, RRF_RT_REG_BINARY, nullptr, data, &size);
    return found == ERROR_SUCCESS && size >= 1 && (data[0] & 1) != 0;
}

std::string describe(LSTATUS status) {
    wchar_t text[256] = L"";
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(status), 0,
                     text, 255, nullptr);
    return QString::fromWCharArray(text).trimmed().toStdString();
}

}  // namespace

Status status() {
    const LSTATUS found = ::RegGetValueW(HKEY_CURRENT_USER, runKey, valueName, RRF_RT_REG_SZ, nullptr, nullptr, nullptr);
    return found == ERROR_SUCCESS && !turnedOffByTheUser() ? Status::enabled : Status::disabled;
}

Outcome enable() {
    // The running program, quoted: the path may hold spaces.
    const std::wstring command =
        (QStringLiteral("\"") + QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) + QStringLiteral("\""))
            .toStdWString();
    const LSTATUS done = ::RegSetKeyValueW(HKEY_CURRENT_USER, runKey, valueName, REG_SZ, command.c_str(),
                                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    if (done != ERROR_SUCCESS) return {false, describe(done)};
    // Ticking the item again is the user's word too: Task Manager's "disabled" would otherwise
    // keep Windows from starting it.
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, approvedKey, valueName);
    return {true, {}};
}

Outcome disable() {
    const LSTATUS done = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, runKey, valueName);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, approvedKey, valueName);
    if (done != ERROR_SUCCESS && done != ERROR_FILE_NOT_FOUND) return {false, describe(done)};
    return {true, {}};
}

void openApprovalSettings() {}

std::string whatEnablingDoes() {
    return "Tally will start whenever you sign in to Windows (Settings \u2192 Apps \u2192 Startup lists it). Untick "
           "this menu item to remove it.";
}

}  // namespace tally::platform::LoginItem
