// The folder that holds one person's lock: made where missing, refused where anyone else could
// reach into it.
#include "InstancePlacePosix.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/TempDir.h"

using namespace tally::platform;
namespace fs = std::filesystem;

TEST(InstancePlace, theRuntimeFolderAsNamedOrAFolderOfTheUsersOwn) {
    tally::test::TempDir dir;
    const std::string runtime = dir.file("run");
    InstancePlace place = instancePlaceIn(runtime, dir.file("tmp"));
    EXPECT_EQ(place.folder, runtime) << "made where missing" << place.problem;
    EXPECT_EQ(place.socket, runtime + "/tally.socket");
    EXPECT_EQ(fs::status(runtime).permissions(), fs::perms::owner_all);

    fs::create_directory(dir.file("tmp"));
    place = instancePlaceIn(std::nullopt, dir.file("tmp"));
    EXPECT_EQ(place.folder, dir.file("tmp/tally-" + std::to_string(::geteuid()))) << place.problem;
    EXPECT_EQ(instancePlaceIn(std::nullopt, dir.file("tmp")).folder, place.folder) << "the same at every start";
}

TEST(InstancePlace, aFolderOthersCouldReachIntoIsRefused) {
    tally::test::TempDir dir;
    fs::create_directory(dir.file("open"));
    fs::permissions(dir.file("open"), fs::perms(0755));
    fs::create_directory(dir.file("mine"));
    fs::permissions(dir.file("mine"), fs::perms::owner_all);
    fs::create_directory_symlink(dir.file("mine"), dir.file("link"));
    std::ofstream(dir.file("file"));
    struct Case {
        std::string folder;
        std::string problem;
    };
    for (const Case& c : {Case{dir.file("open"), dir.file("open") + " is open to other users"},
                          Case{dir.file("link"), dir.file("link") + " is a symbolic link"},
                          Case{dir.file("file"), dir.file("file") + " is not a folder"},
                          Case{dir.file("file/run"), dir.file("file/run") + ": Not a directory"}}) {
        const InstancePlace place = instancePlaceIn(c.folder, dir.file("tmp"));
        EXPECT_EQ(place.folder, "");
        EXPECT_EQ(place.problem, c.problem);
    }
    // Someone else's folder under the name Tally would make: only root can lay that out.
    if (::geteuid() == 0) {
        const std::string theirs = dir.file("tally-0");
        fs::create_directory(theirs);
        fs::permissions(theirs, fs::perms::owner_all);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_EQ(instancePlaceIn(std::nullopt, dir.path().string()).problem, theirs + " belongs to another user");
    }
}
