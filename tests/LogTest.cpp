#include "Log.h"

#include <fstream>
#include <future>
#include <regex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(LogTest, aFolderThatMayNotBeCreatedLosesTheLineQuietly) {
    const std::string missing = dir.file("no-such-folder/Tally.log");
    Log::setFile(missing, false);
    Log::write("lost");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(LogTest, aPathThatIsNotAPlainFileLosesTheLineWithoutWaiting) {
    std::filesystem::create_directories(dir.file("logs"));
    ::mkfifo(file.c_str(), 0600);  // opening it for writing would wait for a reader
    auto written = std::async(std::launch::async, [] { Log::write("into a FIFO"); });
    if (written.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the write waits for a reader of the FIFO";
        ::close(::open(file.c_str(), O_RDONLY | O_NONBLOCK));  // let it go
        return;
    }
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    Log::write("into a folder");
    EXPECT_TRUE(std::filesystem::is_directory(file));
    std::filesystem::remove(file);
    Log::write("and a plain file again");
    EXPECT_EQ(readLines(file).size(), 1u);
}

TEST_F(LogTest, echoPrintsEachLineOnceOnlyWhenOn) {
    testing::internal::CaptureStdout();
    Log::write("quiet");
    Log::setEcho(true);
    Log::write("loud");
    Log::setEcho(false);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(out, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d loud\n)")))
        << out;
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
