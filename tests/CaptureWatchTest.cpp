// Microphones and cameras in use: the log lines every platform shares, and the Linux watcher
// with a real PulseAudio server of the test's own and a fake /dev and /proc.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptureUse.h"
#include "CaptureWatchLinux.h"
#include "support/Eventually.h"
#include "support/SoundServer.h"
#include "support/TempDir.h"

using namespace tally::platform;
using namespace tally::test;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// The log lines a watcher writes, from its own threads.
class Lines {
public:
    CaptureLog log() {
        return [this](const std::string& line) {
            const std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    std::vector<std::string> all() {
        const std::lock_guard lock(mutex_);
        return lines_;
    }
    bool has(const std::string& line) {
        const auto got = all();
        return std::find(got.begin(), got.end(), line) != got.end();
    }
    bool eventuallyHas(const std::string& line) {
        return eventually([&] { return has(line); });
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace

TEST(CaptureUse, eachChangeIsOneLineNamingEveryProgram) {
    Lines lines;
    CaptureUse use(lines.log());
    using Device = CaptureUse::Device;
    use.report(Device::microphone, {});
    EXPECT_FALSE(use.inUse());
    use.report(Device::microphone, {"zoom"});
    use.report(Device::microphone, {"zoom"});
    use.report(Device::microphone, {"zoom", "parecord", "zoom"});
    use.report(Device::camera, {""});
    use.report(Device::microphone, {});
    EXPECT_TRUE(use.inUse()) << "the camera is still in use";
    use.report(Device::camera, {});
    EXPECT_FALSE(use.inUse());
    EXPECT_THAT(lines.all(), ElementsAre("microphone in use (zoom)", "microphone in use (parecord, zoom)",
                                         "camera in use", "microphone no longer in use",
                                         "camera no longer in use"));
}

TEST(CaptureUse, aProgramsNameCannotForgeALineOrFillTheLog) {
    EXPECT_EQ(programName("evil\n2026-12-08 10:00:00 Tally quits\r"), "evil?2026-12-08 10:00:00 Tally quits?");
    const std::string name = programName(std::string(63, 'a') + "\xC3\xA9" + std::string(100, 'b'));
    EXPECT_EQ(name, std::string(63, 'a')) << "cut at 64 bytes, never inside a character";
}

TEST(RecordStreams, onlyAProgramRecordingFromAnInputCounts) {
    EXPECT_TRUE(countsAsCall({"zoom", true, false, false, false}));
    EXPECT_FALSE(countsAsCall({"", false, false, false, false})) << "the server's own loopback";
    EXPECT_FALSE(countsAsCall({"obs", true, true, false, false})) << "recording the desktop's sound";
    EXPECT_FALSE(countsAsCall({"pavucontrol", true, false, true, false})) << "a volume meter";
    EXPECT_FALSE(countsAsCall({"zoom", true, false, false, true})) << "paused";
}

class CameraWatchTest : public testing::Test {
protected:
    TempDir dir;
    std::string devices = dir.file("dev");
    std::string processes = dir.file("proc");
    Lines lines;

    void SetUp() override {
        std::filesystem::create_directories(devices);
        std::filesystem::create_directories(processes);
        std::ofstream(devices + "/video0");
        std::ofstream(devices + "/null");
        // This user's processes: one holding only /dev/null.
        process("100", "bash", {devices + "/null"});
        ::setenv("PULSE_SERVER", ("unix:" + dir.file("no-server")).c_str(), 1);
    }
    void process(const std::string& pid, const std::string& name, const std::vector<std::string>& open) {
        std::filesystem::create_directories(processes + "/" + pid + "/fd");
        std::ofstream(processes + "/" + pid + "/comm") << name << "\n";
        int fd = 3;
        for (const auto& path : open)
            std::filesystem::create_symlink(path, processes + "/" + pid + "/fd/" + std::to_string(fd++));
    }
    // What a program does to the device node: inotify sees the open and the close.
    void touchDevice(const std::string& device) { ::close(::open(device.c_str(), O_RDONLY)); }
};

TEST_F(CameraWatchTest, aProgramHoldingAVideoDeviceIsACallUntilItLetsGo) {
    process("200", "obs", {devices + "/video0"});
    auto watch = watchCapture(lines.log(), {devices, processes});
    ASSERT_TRUE(lines.eventuallyHas("camera in use (obs)")) << "held before Tally started";
    EXPECT_TRUE(watch->inUse());

    process("300", "cheese", {devices + "/null", devices + "/video0"});
    touchDevice(devices + "/video0");
    ASSERT_TRUE(lines.eventuallyHas("camera in use (cheese, obs)"));

    std::filesystem::remove_all(processes + "/200");
    std::filesystem::remove_all(processes + "/300");
    touchDevice(devices + "/video0");
    ASSERT_TRUE(lines.eventuallyHas("camera no longer in use"));
    EXPECT_FALSE(watch->inUse());
}

TEST_F(CameraWatchTest, aCameraPluggedInLaterIsWatchedToo) {
    auto watch = watchCapture(lines.log(), {devices, processes});
    ASSERT_TRUE(lines.eventuallyHas("call detection: no sound server; camera through " + devices + "/video*"));
    // Settled first: the watcher has listed the devices, and then the look that a new one's
    // coming brings is over, so that only the new node's own watch can see the open below.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::ofstream(devices + "/video2");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    process("400", "zoom", {devices + "/video2"});
    // Opened again and again, since an open before the new node is watched goes unseen.
    EXPECT_TRUE(eventually([&] {
        touchDevice(devices + "/video2");
        return lines.has("camera in use (zoom)");
    }));
    EXPECT_TRUE(watch->inUse());
}

TEST(CameraHolders, onlyThisUsersProcessesWithALinkToADeviceCount) {
    TempDir dir;
    const std::string proc = dir.file("proc");
    std::filesystem::create_directories(proc + "/12/fd");
    std::filesystem::create_directories(proc + "/self/fd");  // not a process number
    std::filesystem::create_symlink("/dev/video0", proc + "/12/fd/7");
    std::filesystem::create_symlink("/dev/video0", proc + "/self/fd/7");
    std::ofstream(proc + "/12/comm") << "meet\n";
    EXPECT_THAT(cameraHolders(proc, {"/dev/video0"}), ElementsAre("meet"));
    EXPECT_THAT(cameraHolders(proc, {"/dev/video1"}), testing::IsEmpty());
    EXPECT_THAT(cameraHolders(proc, {}), testing::IsEmpty());
}

class MicrophoneWatchTest : public testing::Test {
protected:
    TempDir dir;
    SoundServer server{dir};
    Lines lines;

    void SetUp() override {
        std::filesystem::create_directories(dir.file("dev"));
        ::setenv("PULSE_SERVER", server.address().c_str(), 1);
    }
    std::unique_ptr<CaptureWatch> watch() {
        auto watch = watchCapture(lines.log(), {dir.file("dev"), dir.file("proc")});
        EXPECT_TRUE(lines.eventuallyHas("call detection: microphone through PulseAudio, camera through " +
                                        dir.file("dev") + "/video*"));
        return watch;
    }
};

TEST_F(MicrophoneWatchTest, aRecordingFromAnInputIsACallAndFromAMonitorOrAMeterIsNot) {
    auto watch = this->watch();
    const auto desktopSound = server.record("speakers.monitor");
    const auto meter = server.record("mic", TALLY_PEAK_METER);
    ASSERT_TRUE(eventually([&] { return server.recordings() == 2; }));
    const auto call = server.record("mic");
    ASSERT_TRUE(lines.eventuallyHas("microphone in use (pacat)"));  // parecord is pacat by another name
    EXPECT_TRUE(watch->inUse());
    EXPECT_EQ(server.recordings(), 3u);

    call->stop();
    ASSERT_TRUE(lines.eventuallyHas("microphone no longer in use"));
    EXPECT_FALSE(watch->inUse()) << "the monitor and the meter are still recording";
}

TEST_F(MicrophoneWatchTest, aServerThatRestartsIsFollowedAgain) {
    auto watch = this->watch();
    auto call = server.record("mic");
    ASSERT_TRUE(lines.eventuallyHas("microphone in use (pacat)"));

    server.kill();
    ASSERT_TRUE(lines.eventuallyHas("call detection: the sound server went away; Tally will look for it again"));
    EXPECT_FALSE(watch->inUse()) << "what a server that is gone said no longer holds";
    ASSERT_TRUE(lines.eventuallyHas("microphone no longer in use"));

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(lines.eventuallyHas("call detection: microphone through PulseAudio again"));
    call = server.record("mic");
    EXPECT_TRUE(eventually([&] { return watch->inUse(); }));
}
