// Microphones and cameras in use on Windows: the privacy store's entries, written here with the
// registry API into a store of the test's own, as Windows writes them.
#include "CaptureWatchWindows.h"

#include <mutex>

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Eventually.h"

using namespace tally::platform;
using tally::test::eventually;
using testing::ElementsAre;

namespace {

const std::wstring store = L"Software\\Tally tests\\ConsentStore";

void setEntry(const std::wstring& entry, std::uint64_t start, std::uint64_t stop) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (store + L"\\" + entry).c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"LastUsedTimeStart", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&start), sizeof start);
    ::RegSetValueExW(key, L"LastUsedTimeStop", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&stop), sizeof stop);
    ::RegCloseKey(key);
}

}  // namespace

TEST(ConsentStore, aStartWithoutAStopIsInUseAndNamesItsProgram) {
    EXPECT_THAT(programsInUse({{"C:#Program Files#Zoom#bin#Zoom.exe", 5, 0},
                               {"Microsoft.WindowsCamera_8wekyb3d8bbwe", 7, 0},
                               {"C:#Windows#notepad.exe", 5, 6},
                               {"Never.Used_abc", 0, 0}}),
                ElementsAre("Zoom", "Microsoft.WindowsCamera"));
}

TEST(ConsentStore, theWatcherFollowsTheStoreAsProgramsStartAndStop) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, store.c_str());
    setEntry(L"microphone\\NonPackaged\\C:#Program Files#Zoom#bin#Zoom.exe", 133'000'000'000'000'000, 133'000'000'000'000'001);
    setEntry(L"webcam\\Microsoft.WindowsCamera_8wekyb3d8bbwe", 0, 0);
    std::mutex mutex;
    std::vector<std::string> lines;
    const auto has = [&](const std::string& line) {
        return eventually([&] {
            const std::lock_guard lock(mutex);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    };
    auto watch = watchCapture([&](const std::string& line) {
        const std::lock_guard lock(mutex);
        lines.push_back(line);
    }, store);
    ASSERT_TRUE(has("call detection: microphone and camera through the Windows privacy settings"));
    EXPECT_FALSE(watch->inUse());

    setEntry(L"microphone\\NonPackaged\\C:#Program Files#Zoom#bin#Zoom.exe", 133'000'000'000'000'002, 0);
    ASSERT_TRUE(has("microphone in use (Zoom)"));
    EXPECT_TRUE(watch->inUse());
    setEntry(L"webcam\\Microsoft.WindowsCamera_8wekyb3d8bbwe", 133'000'000'000'000'003, 0);
    ASSERT_TRUE(has("camera in use (Microsoft.WindowsCamera)"));

    setEntry(L"microphone\\NonPackaged\\C:#Program Files#Zoom#bin#Zoom.exe", 133'000'000'000'000'002, 133'000'000'000'000'009);
    setEntry(L"webcam\\Microsoft.WindowsCamera_8wekyb3d8bbwe", 133'000'000'000'000'003, 133'000'000'000'000'009);
    ASSERT_TRUE(has("microphone no longer in use"));
    ASSERT_TRUE(has("camera no longer in use"));
    EXPECT_FALSE(watch->inUse());
    watch.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, store.c_str());
}

TEST(ConsentStore, aStoreThatIsNotThereIsSaidAndWatchesNothing) {
    std::vector<std::string> lines;
    auto watch = watchCapture([&](const std::string& line) { lines.push_back(line); }, L"Software\\Tally tests\\Nowhere");
    EXPECT_THAT(lines, ElementsAre("call detection: the Windows privacy settings have no microphone and webcam "
                                   "entries; that is not watched"));
    EXPECT_FALSE(watch->inUse());
}
