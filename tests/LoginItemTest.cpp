// The system's login item on Linux: an XDG autostart entry, here in a temporary home.
#include "LoginItem.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/TempDir.h"

using namespace tally::platform;

TEST(LoginItem, isAnAutostartEntryWhileEnabled) {
    tally::test::TempDir home;
    ::setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
    const std::string entry = home.file("config/autostart/tally.desktop");
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::disabled);
    ASSERT_TRUE(LoginItem::enable().ok);
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::enabled);
    std::ifstream in(entry);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("[Desktop Entry]"), std::string::npos) << text;
    // Not the installed program: the test binary itself, by its absolute path.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_NE(text.find("\nExec=\"" + self + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nTryExec=" + self + "\n"), std::string::npos) << "skipped once it is gone";
    EXPECT_NE(text.find("\nIcon=tally\n"), std::string::npos) << text;
    if (std::filesystem::exists("/usr/bin/desktop-file-validate")) {
        const std::string check = "/usr/bin/desktop-file-validate '" + entry + "'";
        EXPECT_EQ(std::system(check.c_str()), 0) << "the desktop's own check of the entry";
    }
    EXPECT_EQ(LoginItem::whatEnablingDoes(), "Tally will start whenever you log in, from the autostart entry " +
                                                 entry + ". Untick this menu item to remove it.");
    ASSERT_TRUE(LoginItem::disable().ok);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(LoginItem::status(), LoginItem::Status::disabled);
}
