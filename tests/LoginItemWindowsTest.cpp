// The login item on Windows: the Run value in the user's registry, and the choice the user made
// about it in Task Manager. Under Wine the registry is the test prefix's own.
#include "LoginItem.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <windows.h>

#include "support/Wine.h"

using namespace tally::platform;

namespace {

constexpr const wchar_t* runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* approvedKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

std::wstring runValue() {
    wchar_t text[1024] = L"";
    DWORD size = sizeof text;
    if (::RegGetValueW(HKEY_CURRENT_USER, runKey, L"Tally", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return {};
    return text;
}

bool approvalRecorded() {
    return ::RegGetValueW(HKEY_CURRENT_USER, approvedKey, L"Tally", RRF_RT_REG_BINARY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

// What Task Manager writes when the user turns an entry off (first byte 3) or on (2).
void taskManagerSets(BYTE first) {
    const BYTE data[12] = {first};
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, approvedKey, L"Tally", REG_BINARY, data, sizeof data),
              ERROR_SUCCESS);
}

}  // namespace

TEST(LoginItem, isTheRunValueUnlessTheUserTurnedItOffInTaskManager) {
    // The Run key is the user's own: only Wine's, in the test prefix, is the test's to change.
    if (!tally::test::Wine::unixPath("C:\\")) GTEST_SKIP() << "it would change this user's own Start at login";
    ASSERT_TRUE(LoginItem::disable().ok);
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::disabled);

    ASSERT_TRUE(LoginItem::enable().ok);
    const std::wstring self = QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toStdWString();
    EXPECT_EQ(runValue(), L"\"" + self + L"\"") << "quoted: the path may hold spaces";
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::enabled);

    taskManagerSets(2);
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::enabled);
    taskManagerSets(3);
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::disabled) << "Windows will not start it: the menu says off";

    // Ticking the item again undoes Task Manager's "disabled", or Windows still would not start it.
    ASSERT_TRUE(LoginItem::enable().ok);
    EXPECT_FALSE(approvalRecorded());
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::enabled);

    taskManagerSets(3);
    ASSERT_TRUE(LoginItem::disable().ok);
    EXPECT_EQ(runValue(), L"");
    EXPECT_FALSE(approvalRecorded()) << "nothing of Tally's is left behind";
    EXPECT_TRUE(LoginItem::disable().ok) << "and disabling twice is no failure";
}
