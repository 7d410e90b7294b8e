#include "Log.h"

#include <algorithm>
#include <fstream>
#include <future>
#include <regex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/TempDir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace tally;
using namespace tally::test;

namespace {

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*))");

class LogTest : public testing::Test {
protected:
    TempDir dir;
    std::string file = dir.file("logs/Tally.log");
    void SetUp() override {
        Log::setFile(file, true);
        Log::setEcho(false);
    }
};

}  // namespace

TEST_F(LogTest, linesAreStampedAndTheFileAndFolderAreCreated) {
    Log::write("first");
    Log::write("");
    const auto lines = readLines(file);
    ASSERT_EQ(lines.size(), 2u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, stamped)) << lines[0];
    EXPECT_EQ(m[1], "first");
    ASSERT_TRUE(std::regex_match(lines[1], m, stamped)) << "an empty message: stamp and a space";
    EXPECT_EQ(m[1], "");
}

// Text from outside (a program's name, a light's reply) cannot break a line, forge another,
// drive the terminal that shows the log or reorder what a reader sees.
TEST_F(LogTest, whatCouldHideOrForgeALineIsMadeVisible) {
    const std::pair<std::string, std::string> cases[] = {
        {"evil\n2026-12-08 10:00:00 Tally quits\r", "evil?2026-12-08 10:00:00 Tally quits?"},
        {"tab\there, escape \x1b[2J, delete \x7f", "tab?here, escape ?[2J, delete ?"},
        {"C1: \xC2\x85 \xC2\x9B", "C1: ? ?"},                                   // NEL, CSI
        {"lines \xE2\x80\xA8 \xE2\x80\xA9", "lines ? ?"},                        // U+2028, U+2029
        {"zoom\xE2\x80\xAE" "exe.txt", "zoom?exe.txt"},                            // U+202E
        {"\xE2\x81\xA6isolate\xE2\x81\xA9 \xE2\x80\x8F", "?isolate? ?"},          // U+2066, U+2069, U+200F
        {"caf\xC3\xA9 \xF0\x9F\x94\xB4 \xE6\x97\xA5", "caf\xC3\xA9 \xF0\x9F\x94\xB4 \xE6\x97\xA5"},  // kept
        {"bad \xFF\xC3 end", "bad \xEF\xBF\xBD\xEF\xBF\xBD end"},
    };
    for (const auto& [message, shown] : cases) Log::write(message);
    const auto lines = readLines(file);
    ASSERT_EQ(lines.size(), std::size(cases)) << "one line each";
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(20), cases[i].second);
}

TEST_F(LogTest, rotatesOnlyAboveOneMillionBytes) {
    std::filesystem::create_directories(dir.file("logs"));
    dir.write("logs/Tally.log.1", "older\n");
    dir.write("logs/Tally.log", std::string(999'999, 'a') + "\n");
    Log::write("stays");
    EXPECT_EQ(readLines(file).size(), 2u) << "exactly 1,000,000 bytes is not rotated";

    Log::write("rotated first");
    const auto fresh = readLines(file);
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_THAT(fresh[0], testing::EndsWith(" rotated first"));
    const auto rotated = readLines(file + ".1");
    ASSERT_EQ(rotated.size(), 2u) << "the old .1 is replaced";
    EXPECT_THAT(rotated[1], testing::EndsWith(" stays"));
}

TEST_F(LogTest, aFolderNamedInUtf8IsThatFolder) {
    // The log's path is UTF-8 text; Windows would read a plain string in its code page.
    const std::u8string base = dir.path().u8string();
    const std::string named(std::string(base.begin(), base.end()) + "/caf\xC3\xA9/Tally.log");
    Log::setFile(named, true);
    Log::write("une ligne");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / std::u8string(u8"caf\u00E9") / "Tally.log"));
    EXPECT_EQ(Log::file(), named);
}

TEST_F(LogTest, aFolderThatMayNotBeCreatedLosesTheLineQuietly) {
    const std::string missing = dir.file("no-such-folder/Tally.log");
    Log::setFile(missing, false);
    Log::write("lost");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(LogTest, aPathThatIsNotAPlainFileLosesTheLineWithoutWaiting) {
    std::filesystem::create_directories(dir.file("logs"));
#ifndef _WIN32
    ::mkfifo(file.c_str(), 0600);  // opening it for writing would wait for a reader
    auto written = std::async(std::launch::async, [] { Log::write("into a FIFO"); });
    if (written.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the write waits for a reader of the FIFO";
        ::close(::open(file.c_str(), O_RDONLY | O_NONBLOCK));  // let it go
        return;
    }
    std::filesystem::remove(file);
#endif
    std::filesystem::create_directory(file);
    Log::write("into a folder");
    EXPECT_TRUE(std::filesystem::is_directory(file));
    std::filesystem::remove(file);
    Log::write("and a plain file again");
    EXPECT_EQ(readLines(file).size(), 1u);
}

#ifndef _WIN32  // standard output as POSIX has it
namespace {

// Standard output as a pipe of the test's own, for as long as it lives.
class CapturedOutput {
public:
    CapturedOutput() {
        if (::pipe(fds_) != 0) return;
        ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
        saved_ = ::dup(STDOUT_FILENO);
        ::dup2(fds_[1], STDOUT_FILENO);
    }
    ~CapturedOutput() {
        ::dup2(saved_, STDOUT_FILENO);
        for (const int fd : {saved_, fds_[0], fds_[1]}) ::close(fd);
    }
    // Reads what is there until `text` has come; what was read so far.
    const std::string& readUntil(const std::string& text) {
        const bool came = eventually([&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(fds_[0], buffer, sizeof buffer)) > 0;)
                read_.append(buffer, static_cast<std::size_t>(n));
            return read_.find(text) != std::string::npos;
        });
        if (!came) ADD_FAILURE() << "standard output never showed " << text;
        return read_;
    }

private:
    int fds_[2] = {-1, -1};
    int saved_ = -1;
    std::string read_;
};

}  // namespace

TEST_F(LogTest, echoPrintsEachLineOnceOnlyWhenOn) {
    CapturedOutput out;
    Log::write("quiet");
    Log::setEcho(true);
    Log::write("loud");
    Log::setEcho(false);
    Log::write("quiet again");
    Log::setEcho(true);
    Log::write("done");
    Log::setEcho(false);
    EXPECT_TRUE(std::regex_match(out.readUntil(" done\n"),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d loud\n[^\n]* done\n)")));
}

TEST_F(LogTest, anEchoNobodyReadsHoldsUpNoWriterAndTheFileKeepsEveryLine) {
    const std::string line(1000, 'x');
    constexpr int lines = 400;  // far more than a pipe and the echo's queue hold
    const auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return static_cast<int>(n);
    };
    bool returned = false;
    bool copiedAgain = false;
    std::string echoed;
    {
        CapturedOutput out;  // until the block ends: the test's own failures go to the terminal
        Log::setEcho(true);
        auto written = std::async(std::launch::async, [&] {
            for (int i = 0; i < lines; ++i) Log::write(line);
        });
        returned = written.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        // Read again, and write until a line is copied once more; then everything up to a last one.
        copiedAgain = eventually([&] {
            Log::write("after");
            return count(out.readUntil(""), " after\n") > 0;
        });
        Log::write("end");
        echoed = out.readUntil(" end\n");
        Log::setEcho(false);
        written.wait();
    }
    ASSERT_TRUE(returned) << "a writer waited for the reader";
    ASSERT_TRUE(copiedAgain) << "the copy never began again once read";
    ASSERT_THAT(echoed, testing::EndsWith(" end\n"));

    std::string logged;
    for (const auto& l : readLines(file)) logged += l + "\n";
    EXPECT_EQ(count(logged, line), lines) << "the file keeps every line";
    EXPECT_GE(count(logged, "standard output is not read: lines go to this file only until it is"), 1);
    // Dropping may stop and start again while the copy is written out; every stretch is counted.
    int dropped = 0;
    const std::regex note(R"((\d+) lines? (?:was|were) not copied to standard output, which was not read)");
    for (std::sregex_iterator it(logged.begin(), logged.end(), note), end; it != end; ++it) {
        dropped += std::stoi((*it)[1]);
        EXPECT_THAT(echoed, testing::HasSubstr(it->str())) << "the copy says so too";
    }
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(count(echoed, line) + count(echoed, " after\n") + dropped, lines + count(logged, " after\n"))
        << "every line either copied or counted";
}

#endif

TEST_F(LogTest, aFileThatCannotBeMovedAsideStartsAgainInsteadOfGrowing) {
    std::filesystem::create_directories(dir.file("logs/Tally.log.1"));
    dir.write("logs/Tally.log.1/kept", "a folder in the way, not empty\n");
    dir.write("logs/Tally.log", std::string(1'000'001, 'a'));
    Log::write("next");
    const auto lines = readLines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], testing::MatchesRegex(".* the activity log could not be moved to Tally.log.1 "
                                                "\\(.+\\), so it starts again here"));
    EXPECT_THAT(lines[1], testing::EndsWith(" next"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("logs/Tally.log.1/kept")));
}

TEST_F(LogTest, concurrentWritersNeverInterleave) {
    constexpr int threads = 8, perThread = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([t] {
            const std::string message = "writer " + std::to_string(t) + " " + std::string(200, 'x');
            for (int i = 0; i < perThread; ++i) Log::write(message);
        });
    for (auto& w : writers) w.join();
    const auto lines = readLines(file);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(threads * perThread));
    const std::regex whole(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d writer \d x{200})");
    for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}
