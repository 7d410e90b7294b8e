// Windows: the lock beside the activity log, and a pipe whose name carries the user, the same
// for every build of Tally.
#include "InstancePlace.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Files.h"
#include "HomeDirectory.h"
#include "Utf16.h"

using namespace tally::platform;

TEST(InstancePlace, aFolderOfTheUsersOwnAndAPipeNamedForTheUser) {
    const InstancePlace place = instancePlace();
    EXPECT_EQ(place.problem, "");
    EXPECT_EQ(place.folder, Files::join(localAppData(), "Tally"));
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(wide(place.folder))));
    EXPECT_THAT(place.socket, testing::StartsWith("Tally-S-1-"));  // the user's security identifier
    EXPECT_TRUE(std::all_of(place.socket.begin() + 8, place.socket.end(), [](char c) { return c == '-' || std::isdigit(c); }))
        << place.socket;
    EXPECT_EQ(instancePlace().socket, place.socket) << "the same at every start";
}
