// One command's round trip over a pseudo-terminal to the virtual light, and how long update()
// blocks when the light fails.
#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>

#include "LightDevice.h"
#include "support/VirtualLight.h"

namespace {

std::string recordFile() {
    return (std::filesystem::temp_directory_path() / "tally-light-bench.txt").string();
}

void BM_CommandRoundTrip(benchmark::State& state) {
    tally::test::VirtualLight light(recordFile());
    tally::LightDevice device(light.path(), [](const std::string&) {});
    device.update();
    bool on = false;
    for (auto _ : state) device.sendNow((on = !on) ? "C 0 255 0" : "OFF");
    if (!device.isConnected()) state.SkipWithError("the light was lost");
    std::filesystem::remove(recordFile());
}

// A device that never answers: the handshake waits out its second.
void BM_UpdateBlocks_SilentLight(benchmark::State& state) {
    tally::test::VirtualLight light(recordFile(), {"--silent"});
    double now = 0;
    tally::LightDevice device(light.path(), [](const std::string&) {}, [&] { return now; });
    for (auto _ : state) {
        now += tally::LightDevice::retryInterval;  // every update() makes an attempt
        device.update();
    }
    std::filesystem::remove(recordFile());
}

// A device that answers with 64 KiB and no line feed: the wait ends once 4 KiB have come.
void BM_UpdateBlocks_BabblingDevice(benchmark::State& state) {
    tally::test::VirtualLight light(recordFile(), {"--babble"});
    double now = 0;
    tally::LightDevice device(light.path(), [](const std::string&) {}, [&] { return now; });
    for (auto _ : state) {
        now += tally::LightDevice::retryInterval;
        device.update();
    }
    std::filesystem::remove(recordFile());
}

// --port /dev/zero: a device of endless NULs, tried every three seconds.
void BM_UpdateBlocks_DevZero(benchmark::State& state) {
    double now = 0;
    tally::LightDevice device("/dev/zero", [](const std::string&) {}, [&] { return now; });
    for (auto _ : state) {
        now += tally::LightDevice::retryInterval;
        device.update();
    }
}

// A light that is unplugged while connected: the next command notices the hang-up at once.
void BM_UpdateBlocks_VanishedLight(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto light = std::make_unique<tally::test::VirtualLight>(
            recordFile(), std::vector<std::string>{"--vanish-after", "3"});
        tally::LightDevice device(light->path(), [](const std::string&) {});
        device.show("C 0 255 0");
        device.update();  // PING and B answered; the colour makes it vanish
        device.show("OFF");
        state.ResumeTiming();
        device.update();  // writes to a terminal whose other end has gone
        state.PauseTiming();
        light.reset();
        state.ResumeTiming();
    }
    std::filesystem::remove(recordFile());
}

}  // namespace

BENCHMARK(BM_CommandRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_UpdateBlocks_SilentLight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UpdateBlocks_BabblingDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UpdateBlocks_DevZero)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_UpdateBlocks_VanishedLight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
