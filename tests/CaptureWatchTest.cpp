// Microphones and cameras in use: the log lines every platform shares, and the Linux watcher
// with a real PulseAudio server of the test's own and a fake /dev and /proc.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptureUse.h"
#include "CaptureWatchLinux.h"
#include "support/Eventually.h"
#include "support/Process.h"
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
    bool eventuallyHas(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return eventually([&] { return has(line); }, limit);
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

TEST(CaptureUse, aProgramsNameCannotFillTheLog) {
    const std::string name = programName(std::string(63, 'a') + "\xC3\xA9" + std::string(100, 'b'));
    EXPECT_EQ(name, std::string(63, 'a')) << "cut at 64 bytes, never inside a character";
}

class CameraWatchTest : public testing::Test {
protected:
    TempDir dir;
    std::string devices = dir.file("dev");
    std::string processes = dir.file("proc");
    Lines lines;
    std::atomic<int> looks = 0;

    void SetUp() override {
        std::filesystem::create_directories(devices);
        std::filesystem::create_directories(processes);
        std::ofstream(devices + "/video0");
        std::ofstream(devices + "/null");
        // This user's processes: one holding only /dev/null.
        process("100", "bash", {devices + "/null"});
        ::setenv("PULSE_SERVER", ("unix:" + dir.file("no-server")).c_str(), 1);
    }
    // The places, with the looks counted and no waiting between them unless the test says so.
    CapturePlaces places() {
        CapturePlaces places;
        places.devices = devices;
        places.processes = processes;
        places.settle = places.lookGap = std::chrono::milliseconds(0);
        places.looked = [this] { ++looks; };
        return places;
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
    auto watch = watchCapture(lines.log(), places());
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
    auto watch = watchCapture(lines.log(), places());
    ASSERT_TRUE(lines.eventuallyHas("call detection: no sound server; camera through " + devices + "/video*"));
    ASSERT_TRUE(eventually([&] { return looks >= 1; })) << "the first look, at the start";
    std::ofstream(devices + "/video2");
    ASSERT_TRUE(eventually([&] { return looks >= 2; })) << "the look that the new device brings";
    // Only the new node's own watch can see this open: nothing else brings another look.
    process("400", "zoom", {devices + "/video2"});
    touchDevice(devices + "/video2");
    EXPECT_TRUE(lines.eventuallyHas("camera in use (zoom)"));
    EXPECT_TRUE(watch->inUse());
}

// Without inotify watches (the user's are used up), the devices are still looked at, more
// slowly, and the log says so.
TEST_F(CameraWatchTest, withoutInotifyWatchesTheCameraIsLookedAtEveryFewSeconds) {
    process("200", "obs", {devices + "/video0"});
    CapturePlaces slow = places();
    slow.watchLimit = 1;  // the folder's watch, and none for the device
    slow.slowLook = std::chrono::milliseconds(100);
    auto watch = watchCapture(lines.log(), slow);
    EXPECT_TRUE(lines.eventuallyHas("call detection: no sound server; camera through " + devices +
                                    "/video*, looked at every 100 ms (no inotify watch for " + devices +
                                    "/video0: No space left on device)"));
    ASSERT_TRUE(lines.eventuallyHas("camera in use (obs)")) << "held before Tally started";
    std::filesystem::remove_all(processes + "/200");  // let go unseen: no watch tells of the close
    EXPECT_TRUE(lines.eventuallyHas("camera no longer in use"));

    // A device plugged in later, whose watch cannot be had either, is said and looked at too.
    std::ofstream(devices + "/video1");
    process("300", "zoom", {devices + "/video1"});
    EXPECT_TRUE(lines.eventuallyHas("camera in use (zoom)"));
}

// A program that opens the camera over and over does not make Tally read every process's
// descriptors each time: looks are at least the gap apart.
TEST_F(CameraWatchTest, aStormOfOpensBringsLooksAtMostOnceAGap) {
    process("200", "obs", {devices + "/video0"});
    CapturePlaces paced = places();
    paced.lookGap = std::chrono::milliseconds(200);
    auto watch = watchCapture(lines.log(), paced);
    ASSERT_TRUE(lines.eventuallyHas("camera in use (obs)"));
    const int before = looks;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2000; ++i) touchDevice(devices + "/video0");
    process("300", "cheese", {devices + "/video0"});
    touchDevice(devices + "/video0");
    ASSERT_TRUE(lines.eventuallyHas("camera in use (cheese, obs)")) << "the last change is seen";
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LE(looks - before, elapsed / paced.lookGap + 1) << "2001 opens";
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
        CapturePlaces places;
        places.devices = dir.file("dev");
        places.processes = dir.file("proc");
        auto watch = watchCapture(lines.log(), places);
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

// "Never count NAME as a call": a recording by that program is named but is no call, one by
// another program still is, and the program counts again once it is no longer ignored.
TEST_F(MicrophoneWatchTest, aProgramNeverCountedIsNoCallAndAnotherStillIs) {
    auto watch = this->watch();
    watch->setIgnored({"dictation"});
    const std::string dictation = dir.file("dictation");  // a recorder by another name
    std::filesystem::copy_file("/usr/bin/pacat", dictation);
    std::filesystem::permissions(dictation, std::filesystem::perms::owner_all);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    Process ignored({dictation, "-r", "--raw", "-d", "mic"}, server.environment(),
                    Process::Options{Process::Errors::passed, nowhere, {}});
    ::close(nowhere);
    ASSERT_TRUE(lines.eventuallyHas("microphone in use (dictation)"));
    EXPECT_FALSE(watch->inUse()) << "the ignored program alone";
    EXPECT_THAT(watch->users(), ElementsAre("dictation"));

    const auto call = server.record("mic");
    ASSERT_TRUE(lines.eventuallyHas("microphone in use (dictation, pacat)"));
    EXPECT_TRUE(watch->inUse()) << "another program's recording is a call";
    call->stop();
    ASSERT_TRUE(eventually([&] {
        const auto all = lines.all();
        return std::count(all.begin(), all.end(), "microphone in use (dictation)") == 2;
    })) << "the call's end leaves the ignored program";
    EXPECT_FALSE(watch->inUse());

    watch->setIgnored({});
    EXPECT_TRUE(watch->inUse()) << "counted again";
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

// A storm of events from the sound server (a volume dragged to and fro, hundreds of streams
// opened at once) is followed to its end without a backlog, and ending the watch waits for none.
TEST_F(MicrophoneWatchTest, aStormOfServerEventsIsFollowedAndEndsWithoutDelay) {
    auto watch = this->watch();
    auto call = server.record("mic");
    ASSERT_TRUE(lines.eventuallyHas("microphone in use (pacat)"));
    const auto storming = [](const std::string& out) { return out.find("storming") != std::string::npos; };
    auto streams = std::make_unique<Process>(std::vector<std::string>{TALLY_VOLUME_STORM, "streams", "mic", "200"},
                                             server.environment());
    ASSERT_TRUE(storming(streams->readUntil(storming, std::chrono::seconds(20))));
    ASSERT_TRUE(lines.eventuallyHas("microphone in use (pacat, volume-storm)"));
    Process volume({TALLY_VOLUME_STORM, "volume", "mic"}, server.environment());
    ASSERT_TRUE(storming(volume.readUntil(storming, std::chrono::seconds(20))));

    call->stop();
    streams.reset();
    EXPECT_TRUE(lines.eventuallyHas("microphone no longer in use")) << "the end of the last stream is seen";
    auto ended = std::async(std::launch::async, [&] { watch.reset(); });
    EXPECT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "ending is not held up while the storm goes on";
    volume.stop();
}
