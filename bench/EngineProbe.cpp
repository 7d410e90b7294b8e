// Tally end to end without its interface, measured: a Teams log folder in a temporary home, a
// process named MSTeams, the log presence source, the engine and the virtual light; and, as in
// the application, the microphones and cameras watched, the sound server being one of the
// probe's own.
//   engine-probe latency N    N presence changes: time from the appended log line until the
//                             light receives its command (median and worst)
//   engine-probe call N       N recordings from the microphone: time from the recorder's start
//                             until the light shows a call
//   engine-probe idle SECONDS CPU time and resident memory of the engine over a quiet period
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/resource.h>

#include "CaptureWatch.h"
#include "Engine.h"
#include "LightDevice.h"
#include "ProcessUsage.h"
#include "support/FakeTeams.h"
#include "support/SoundServer.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally;
using tally::bench::cpuSeconds;
using tally::bench::residentKiB;
using namespace std::chrono_literals;

namespace {

struct Rig {
    test::TempDir home;
    std::string logs = home.file("Logs");
    std::string teamsLog = logs + "/MSTeams_probe.log";
    test::FakeTeams teams{home};
    test::VirtualLight light{home.file("light.txt"), {"--record-times"}};
    test::SoundServer sound{home};
    std::unique_ptr<Engine> engine;

    Rig() {
        std::filesystem::create_directories(logs);
        std::ofstream(teamsLog) << "UserPresenceAction: {availability: Available}\n";
        ::setenv("PULSE_SERVER", sound.address().c_str(), 1);
        const auto quiet = [](const std::string&) {};
        engine = std::make_unique<Engine>(
            [this, quiet] {
                auto source = std::make_unique<LogPresenceSource>(LogTailer(logs),
                                                                  &LogPresenceSource::teamsIsRunning, quiet);
                std::shared_ptr<platform::CaptureWatch> capture = platform::watchCapture(quiet);
                return std::make_unique<SourceWithCalls>(std::move(source), [capture] { return capture->inUse(); });
            },
            std::make_unique<LightDevice>(light.path(), quiet), [](const Engine::Snapshot&) {}, quiet);
        engine->start();
        waitFor("C 0 255 0");
    }

    // The time at which the light received `command` as its last line.
    double waitFor(const std::string& command) {
        for (;;) {
            const auto lines = light.received();
            if (!lines.empty()) {
                std::istringstream last(lines.back());
                double stamp = 0;
                std::string rest;
                last >> stamp;
                std::getline(last >> std::ws, rest);
                if (rest == command) return stamp;
            }
            std::this_thread::sleep_for(1ms);
        }
    }
};

int latency(int changes) {
    Rig rig;
    std::vector<double> ms;
    for (int i = 0; i < changes; ++i) {
        const bool busy = i % 2 == 0;
        // Not aligned with the tick: changes land anywhere in it, as Teams' do.
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + (i * 37) % 400));
        const double start = uptimeNow();
        std::ofstream(rig.teamsLog, std::ios::app)
            << "UserPresenceAction: {availability: " << (busy ? "Busy" : "Available") << "}\n";
        ms.push_back((rig.waitFor(busy ? "C 255 0 0" : "C 0 255 0") - start) * 1000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("latency over %d changes: median %.1f ms, worst %.1f ms, best %.1f ms\n", changes,
                ms[ms.size() / 2], ms.back(), ms.front());
    return 0;
}

int call(int recordings) {
    Rig rig;
    std::vector<double> ms;
    for (int i = 0; i < recordings; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + (i * 37) % 400));
        const double start = uptimeNow();
        auto recorder = rig.sound.record("mic");
        ms.push_back((rig.waitFor("P 255 0 0 3000") - start) * 1000);
        recorder.reset();
        rig.waitFor("C 0 255 0");
    }
    std::sort(ms.begin(), ms.end());
    std::printf("a recording to the light over %d recordings: median %.1f ms, worst %.1f ms, best %.1f ms\n",
                recordings, ms[ms.size() / 2], ms.back(), ms.front());
    return 0;
}

int idle(int seconds) {
    Rig rig;
    std::this_thread::sleep_for(2s);  // let start-up settle
    const double cpuBefore = cpuSeconds();
    const long rssBefore = residentKiB();
    const auto start = std::chrono::steady_clock::now();
    long rssMax = rssBefore;
    // Wake rarely: on a virtual machine every wake-up is charged as CPU time of its own.
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_until(std::min(start + std::chrono::seconds(seconds),
                                               std::chrono::steady_clock::now() + 60s));
        rssMax = std::max(rssMax, residentKiB());
    }
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("idle for %d s: %.1f ms of CPU (%.4f%% of one core, %.1f ms per minute); "
                "resident %ld KiB at start, %ld KiB at most, %ld KiB at end\n",
                seconds, cpu * 1000, cpu / seconds * 100, cpu / seconds * 60 * 1000, rssBefore,
                rssMax, residentKiB());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "latency" && n > 0) return latency(n);
    if (mode == "call" && n > 0) return call(n);
    if (mode == "idle" && n > 0) return idle(n);
    std::fprintf(stderr, "usage: engine-probe latency N | engine-probe call N | engine-probe idle SECONDS\n");
    return 2;
}
