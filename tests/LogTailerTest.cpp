#include "LogTailer.h"

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "support/TempDir.h"
#ifndef _WIN32
#include "support/Unprivileged.h"
#endif

using namespace tally;
using namespace tally::test;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class LogTailerTest : public testing::Test {
protected:
    TempDir dir;
    FakeClock clock;
    LogTailer tailer{dir.path().string(), clock.function()};

    // Moves past the rollover interval so that the next poll lists the folder again.
    std::vector<std::string> pollAfterRolloverCheck() {
        clock.advance(LogTailer::rolloverInterval);
        return tailer.poll();
    }
};

}  // namespace

TEST_F(LogTailerTest, listsOnlyTeamsLogsOldestFirst) {
    for (auto name : {"MSTeams_b.log", "MSTeams_a.log", "mSTeams_c.log", "MSTeams_d.log.1",
                      "MSTeams_e.LOG", "other.log"})
        dir.write(name, "x\n");
    dir.touch("MSTeams_b.log", 20.5);
    dir.touch("MSTeams_a.log", 20.25);
#ifdef _WIN32  // names without case, as Windows compares them
    EXPECT_THAT(tailer.files(), testing::UnorderedElementsAre(dir.file("MSTeams_a.log"), dir.file("MSTeams_b.log"),
                                                              dir.file("mSTeams_c.log"), dir.file("MSTeams_e.LOG")));
#else
    EXPECT_THAT(tailer.files(), ElementsAre(dir.file("MSTeams_a.log"), dir.file("MSTeams_b.log")));
#endif
}

#ifndef _WIN32  // links and FIFOs as POSIX has them
TEST_F(LogTailerTest, onlyPlainFilesAreTeamsLogs) {
    dir.write("elsewhere.txt", "a log kept elsewhere\n");
    dir.write("MSTeams_plain.log", "x\n");
    std::filesystem::create_symlink("/dev/urandom", dir.file("MSTeams_device.log"));
    std::filesystem::create_symlink(dir.file("elsewhere.txt"), dir.file("MSTeams_link.log"));
    std::filesystem::create_directory(dir.file("MSTeams_folder.log"));
    ::mkfifo(dir.file("MSTeams_fifo.log").c_str(), 0600);
    EXPECT_THAT(tailer.files(), ElementsAre(dir.file("MSTeams_plain.log")));
}
#endif

TEST_F(LogTailerTest, onePollReadsAtMostItsBoundAndDropsTheCutLine) {
    const auto sparse = [&](const std::string& name, std::uint64_t hole) {
        // A line, then a hole that reads as NULs, then the newest lines.
        dir.write(name, "oldest line\n");
        std::filesystem::resize_file(dir.file(name), 12 + hole);
        dir.append(name, "\ncut\nnewest line\n");
    };
    // Found late, far larger than one poll may read.
    sparse("MSTeams_1.log", 2 * LogTailer::maxPollBytes);
    EXPECT_THAT(tailer.poll(), ElementsAre("cut", "newest line"))
        << "the NULs before the last part were the first, cut line";
    // A followed file that jumps in size.
    std::filesystem::resize_file(dir.file("MSTeams_1.log"), std::filesystem::file_size(dir.file("MSTeams_1.log")) + 3 * LogTailer::maxPollBytes);
    dir.append("MSTeams_1.log", "\nafter the jump\n");
    EXPECT_THAT(tailer.poll(), ElementsAre("after the jump"));
    // Just within the bound, everything comes.
    dir.write("MSTeams_2.log", "first\n");
    std::filesystem::resize_file(dir.file("MSTeams_2.log"), LogTailer::maxPollBytes - 7);
    dir.append("MSTeams_2.log", "\nlast\n");
    dir.touch("MSTeams_2.log", 1e9);
    const auto lines = pollAfterRolloverCheck();
    ASSERT_EQ(lines.size(), 2u) << "the NUL line is longer than a line may be, and dropped";
    EXPECT_THAT(lines, ElementsAre("first", "last"));
}

TEST_F(LogTailerTest, equalTimesKeepTheListingOrder) {
    for (auto name : {"MSTeams_1.log", "MSTeams_2.log", "MSTeams_3.log"}) {
        dir.write(name, "x\n");
        dir.touch(name, 10);
    }
    std::vector<std::string> listed;  // in the order the system lists them
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().starts_with("MSTeams_"))
            listed.push_back(dir.file(entry.path().filename().string()));
    EXPECT_EQ(tailer.files(), listed);
}

TEST_F(LogTailerTest, firstFileFoundIsReadFromItsFirstByte) {
    EXPECT_THAT(tailer.poll(), IsEmpty());
    dir.write("MSTeams_1.log", "one\ntwo\nthr");
    EXPECT_THAT(tailer.poll(), ElementsAre("one", "two")) << "listed on every poll until found";
    dir.write("MSTeams_2.log", "other\n");
    dir.touch("MSTeams_2.log", 1e9);
    EXPECT_THAT(tailer.poll(), IsEmpty()) << "a followed file: no listing before the interval";
    EXPECT_THAT(pollAfterRolloverCheck(), ElementsAre("other"));
}

TEST_F(LogTailerTest, linesArriveWholeInFileOrderWithoutBlanks) {
    dir.write("MSTeams_1.log", "old\n");
    tailer.seekToEnd();
    dir.append("MSTeams_1.log", "first ha");
    clock.advance(100);
    EXPECT_THAT(tailer.poll(), IsEmpty());
    EXPECT_EQ(tailer.secondsSinceActivity(), 0) << "bytes without a line feed are activity too";
    dir.append("MSTeams_1.log", "lf\n\n\nsecond\r\nthird\n");
    EXPECT_THAT(tailer.poll(), ElementsAre("first half", "second\r", "third"));
    clock.advance(3);
    EXPECT_THAT(tailer.poll(), IsEmpty());
    EXPECT_EQ(tailer.secondsSinceActivity(), 3);
}

TEST_F(LogTailerTest, truncationRereadsFromTheStartAndDropsTheKeptPiece) {
    dir.write("MSTeams_1.log", "aaaaaaaaaa\nunfinished");
    tailer.seekToEnd();
    dir.write("MSTeams_1.log", "new\n");
    EXPECT_THAT(tailer.poll(), ElementsAre("new"));
}

#ifndef _WIN32  // permissions as POSIX has them
TEST_F(LogTailerTest, readabilityIsTheLastListingsWhileAFileIsFollowed) {
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);  // for the child's folder
    EXPECT_EQ(runUnprivileged([&]() -> std::string {
                  namespace fs = std::filesystem;
                  const std::string folder = dir.file("Logs");
                  fs::create_directory(folder);
                  std::ofstream(folder + "/MSTeams_1.log") << "hello\n";
                  FakeClock c;
                  LogTailer t(folder, c.function());
                  if (t.poll().size() != 1 || !t.folderReadable()) return "not followed";
                  fs::permissions(folder, fs::perms::none);
                  if (!t.folderReadable()) return "listed between rollover checks";
                  c.advance(LogTailer::rolloverInterval);
                  t.poll();
                  if (t.folderReadable()) return "an unlistable folder counts as readable";
                  fs::permissions(folder, fs::perms::owner_all);
                  c.advance(LogTailer::rolloverInterval);
                  t.poll();
                  if (!t.folderReadable()) return "readable again, but not said";
                  return "";
              }),
              "");
}
#endif

TEST_F(LogTailerTest, aNewFileUnderTheFollowedNameIsReadFromItsStart) {
    // Replaced by a larger file, and moved aside for a new one that is already past the old
    // end: neither may be read from the old offset.
    for (const bool movedAside : {false, true}) {
        SCOPED_TRACE(movedAside);
        TempDir folder;
        LogTailer t(folder.path().string(), clock.function());
        folder.write("MSTeams_1.log", "old one\nold two\n");
        t.seekToEnd();
        if (movedAside) std::filesystem::rename(folder.file("MSTeams_1.log"), folder.file("kept.txt"));
        const std::string fresh = folder.file("fresh");
        std::ofstream(fresh, std::ios::binary) << "new one\nnew two\nnew three, longer than the old file\n";
        std::filesystem::rename(fresh, folder.file("MSTeams_1.log"));
        EXPECT_THAT(t.poll(), ElementsAre("new one", "new two", "new three, longer than the old file"));
        folder.append("MSTeams_1.log", "new four\n");
        EXPECT_THAT(t.poll(), ElementsAre("new four")) << "and then followed as before";
    }
}

TEST_F(LogTailerTest, rolloverDeliversTheOldRestBeforeTheNewFile) {
    dir.write("MSTeams_1.log", "");
    dir.touch("MSTeams_1.log", 1);
    tailer.seekToEnd();
    dir.append("MSTeams_1.log", "old last\nold unfinished");
    dir.write("MSTeams_2.log", "new first\nnew second\n");
    dir.touch("MSTeams_1.log", 1);
    dir.touch("MSTeams_2.log", 2);
    EXPECT_THAT(tailer.poll(), ElementsAre("old last", "new first", "new second"));
    EXPECT_EQ(tailer.path(), dir.file("MSTeams_2.log"));

    // Back to the first file once it is the newest again: read from its first byte.
    dir.append("MSTeams_1.log", " now done\n");
    dir.touch("MSTeams_1.log", 3);
    EXPECT_THAT(pollAfterRolloverCheck(), ElementsAre("old last", "old unfinished now done"));
}

#ifndef _WIN32  // permissions as POSIX has them
TEST_F(LogTailerTest, folderMissingThenUnreadableThenReadable) {
    const std::string folder = dir.file("Logs");
    const std::string failures = runUnprivileged([&]() -> std::string {
        FakeClock c;
        LogTailer t(folder, c.function());
        t.seekToEnd();
        if (t.folderReadable() || !t.poll().empty()) return "missing folder";
        return "";
    });
    EXPECT_EQ(failures, "");

    std::filesystem::create_directory(folder);
    dir.write("Logs/MSTeams_1.log", "hello\n");
    std::filesystem::permissions(folder, std::filesystem::perms::none);
    EXPECT_EQ(runUnprivileged([&]() -> std::string {
                  FakeClock c;
                  LogTailer t(folder, c.function());
                  t.seekToEnd();
                  if (t.folderReadable()) return "a folder without permission counts as readable";
                  if (!t.poll().empty()) return "lines from an unreadable folder";
                  return "";
              }),
              "");

    std::filesystem::permissions(folder, std::filesystem::perms(0755));
    LogTailer t(folder, clock.function());
    EXPECT_TRUE(t.folderReadable());
    EXPECT_THAT(t.poll(), ElementsAre("hello"));
}
#endif

TEST_F(LogTailerTest, vanishedFileIsLeftForTheNewestRemaining) {
    dir.write("MSTeams_1.log", "one\n");
    dir.write("MSTeams_2.log", "two\n");
    dir.touch("MSTeams_1.log", 1);
    dir.touch("MSTeams_2.log", 2);
    tailer.seekToEnd();
    EXPECT_THAT(tailer.poll(), IsEmpty());  // the first poll always lists the folder
    std::filesystem::remove(dir.file("MSTeams_2.log"));
    EXPECT_THAT(tailer.poll(), IsEmpty());
    EXPECT_THAT(pollAfterRolloverCheck(), ElementsAre("one"));
}

TEST_F(LogTailerTest, anOverlongLineIsDroppedWholeAndTheNextOneKept) {
    dir.write("MSTeams_1.log", "");
    tailer.seekToEnd();
    const std::string huge(LogTailer::maxLineBytes + 10, 'x');
    // Arriving in pieces across polls, and within one read.
    dir.append("MSTeams_1.log", huge.substr(0, 700'000));
    EXPECT_THAT(tailer.poll(), IsEmpty());
    dir.append("MSTeams_1.log", huge.substr(700'000) + "\nafter\n" + huge + "\nlast\n");
    EXPECT_THAT(tailer.poll(), ElementsAre("after", "last"));
    // A line of exactly the limit is still a line.
    dir.append("MSTeams_1.log", std::string(LogTailer::maxLineBytes, 'y') + "\n");
    const auto lines = tailer.poll();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), LogTailer::maxLineBytes);
}

TEST_F(LogTailerTest, readingInChunksGivesTheSameLinesAsOneRead) {
    std::string text;
    for (int i = 0; text.size() < 3 * LogTailer::readChunkBytes; ++i)
        text += "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 700), '.') +
                (i % 13 ? "\n" : "\n\n");
    dir.write("MSTeams_1.log", text);
    EXPECT_EQ(tailer.poll(), LogTailer::lines(text.substr(0, text.rfind('\n'))));
}

TEST(LogTailerTail, keepsTheEndAndDropsTheCutLine) {
    TempDir dir;
    dir.write("f.log", "first\nsecond\nthird");
    const std::string f = dir.file("f.log");
    EXPECT_THAT(LogTailer::tail(f, 100), ElementsAre("first", "second", "third"));
    EXPECT_THAT(LogTailer::tail(f, 18), ElementsAre("first", "second", "third")) << "all of it";
    EXPECT_THAT(LogTailer::tail(f, 17), ElementsAre("second", "third")) << "cut in 'first'";
    EXPECT_THAT(LogTailer::tail(f, 12), ElementsAre("third")) << "cut exactly at a line start";
    EXPECT_THAT(LogTailer::tail(f, 13), ElementsAre("third")) << "blank before the first line";
    EXPECT_THAT(LogTailer::tail(f, 3), IsEmpty());
    EXPECT_THAT(LogTailer::tail(dir.file("missing.log"), 100), IsEmpty());
}

TEST(LogTailerLines, repairsEachMaximalInvalidSubpart) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9 \xF0\x9F\x94\xB4", "caf\xC3\xA9 \xF0\x9F\x94\xB4"},
        {"a\xFF" "b", "a" + fffd + "b"},
        {"\xF0\x9F\x94", fffd},                            // truncated sequence: one
        {"\xF0\x9F\x94z", fffd + "z"},
        {"\xC0\xAF", fffd + fffd},                         // never-valid lead, lone continuation
        {"\xE0\x80\x80", fffd + fffd + fffd},              // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd},              // surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},   // above U+10FFFF
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
    };
    for (const auto& [in, out] : cases) EXPECT_THAT(LogTailer::lines(in), ElementsAre(out)) << in;
    EXPECT_THAT(LogTailer::lines("\n\na\n\nb\n"), ElementsAre("a", "b"));
    EXPECT_THAT(LogTailer::lines(""), IsEmpty());
}
