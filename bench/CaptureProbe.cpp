// What storms cost the microphone and camera watcher, measured as the CPU time of this process
// (the watcher's threads; the storms run in other processes).
//   capture-probe camera PROCESSES FDS SECONDS   this user's PROCESSES processes holding FDS
//       descriptors each, and a camera node opened 20 times a second for SECONDS: CPU with the
//       looks paced as Tally paces them, and with a look after every open (each after a settle)
//   capture-probe microphone SECONDS VOLUME-STORM   a sound server of the probe's own, 20
//       recordings, and the source's volume changed as fast as the server takes it: CPU and
//       resident memory during the storm and the second after, and how long ending the watch takes
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CaptureUse.h"
#include "CaptureWatchLinux.h"
#include "ProcessUsage.h"
#include "support/Eventually.h"
#include "support/Process.h"
#include "support/SoundServer.h"
#include "support/TempDir.h"

using namespace tally;
using tally::bench::cpuSeconds;
using tally::bench::residentKiB;
using namespace std::chrono;

namespace {

// Processes of this user, each holding `fds` descriptors, until the returned ones are killed.
std::vector<pid_t> holders(int processes, int fds) {
    std::vector<pid_t> pids;
    for (int i = 0; i < processes; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (int fd = 0; fd < fds; ++fd) ::open("/dev/null", O_RDONLY);
            for (;;) ::pause();
        }
        pids.push_back(pid);
    }
    return pids;
}

int camera(int processes, int fds, int seconds) {
    test::TempDir dir;
    const std::string devices = dir.file("dev");
    std::filesystem::create_directories(devices);
    std::ofstream(devices + "/video0");
    auto pids = holders(processes, fds);
    std::this_thread::sleep_for(std::chrono::seconds(1));

    // One look through every process, alone.
    const auto start = steady_clock::now();
    for (int i = 0; i < 10; ++i) (void)platform::cameraHolders("/proc", {devices + "/video0"});
    std::printf("one look through %d processes of %d descriptors: %.1f ms\n", processes, fds,
                duration<double, std::milli>(steady_clock::now() - start).count() / 10);

    for (const bool paced : {true, false}) {
        platform::CapturePlaces places;
        places.devices = devices;
        if (!paced) {  // a look after every open, as before
            places.lookGap = milliseconds(0);
            places.lookShare = 1;
        }
        int looks = 0;
        places.looked = [&looks] { ++looks; };
        auto watch = platform::watchCapture([](const std::string&) {}, places);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double before = cpuSeconds();
        looks = 0;
        const auto end = steady_clock::now() + std::chrono::seconds(seconds);
        while (steady_clock::now() < end) {
            ::close(::open((devices + "/video0").c_str(), O_RDONLY));
            std::this_thread::sleep_for(milliseconds(50));
        }
        const double used = cpuSeconds() - before;
        std::printf("camera opened 20 times a second for %d s, %s: %d looks, %.1f%% of a core\n", seconds,
                    paced ? "looks paced (1 s apart at least, 2% of a core at most)" : "a look after every open", looks,
                    100 * used / seconds);
    }
    for (const pid_t pid : pids) ::kill(pid, SIGKILL);
    for (const pid_t pid : pids) ::waitpid(pid, nullptr, 0);
    return 0;
}

int microphone(int seconds, const std::string& storm) {
    test::TempDir dir;
    test::SoundServer server(dir);
    ::setenv("PULSE_SERVER", server.address().c_str(), 1);
    platform::CapturePlaces places;
    places.devices = dir.file("dev");
    std::filesystem::create_directories(places.devices);
    int changes = 0;
    auto watch = platform::watchCapture([&changes](const std::string&) { ++changes; }, places);
    std::vector<std::unique_ptr<test::Process>> calls;
    for (int i = 0; i < 20; ++i) {
        calls.push_back(server.record("mic"));
        if (!test::eventually([&] { return watch->inUse(); })) return 1;
    }
    if (!test::eventually([&] { return server.recordings() == 20; })) return 1;
    const long residentBefore = residentKiB();
    const double before = cpuSeconds();
    {
        test::Process volume({storm, "volume", "mic"}, server.environment());
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double during = cpuSeconds() - before;
        std::printf("a volume storm for %d s with 20 recordings: %.1f%% of a core, resident %ld KiB (%ld before)\n",
                    seconds, 100 * during / seconds, residentKiB(), residentBefore);
        const auto start = steady_clock::now();
        watch.reset();
        std::printf("ending the watch during the storm: %.1f ms\n",
                    duration<double, std::milli>(steady_clock::now() - start).count());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "camera" && argc == 5) return camera(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (what == "microphone" && argc == 4) return microphone(std::atoi(argv[2]), argv[3]);
    std::fprintf(stderr, "usage: capture-probe camera PROCESSES FDS SECONDS | microphone SECONDS VOLUME-STORM\n");
    return 2;
}
