// The start-up history over a 64 MiB newest log file, as the log presence source reads it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "LogGenerator.h"
#include "PresenceSource.h"

namespace {

// A folder holding one generated 64 MiB Teams log, made once per run.
const std::string& logFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tally-bench-XXXXXX").string();
        std::string dir = ::mkdtemp(pattern.data());
        const std::string log = tally::bench::generateLog(64u << 20);
        std::ofstream(dir + "/MSTeams_bench.log", std::ios::binary)
            .write(log.data(), static_cast<std::streamsize>(log.size()));
        std::atexit([] { std::filesystem::remove_all(logFolder()); });
        return dir;
    }();
    return folder;
}

void BM_StartupHistory_64MiB(benchmark::State& state) {
    const std::string& folder = logFolder();
    for (auto _ : state) {
        tally::LogPresenceSource source(tally::LogTailer(folder), [] { return true; },
                                        [](const std::string&) {});
        benchmark::DoNotOptimize(source.tracker());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 << 20));
}

// The steady state: a followed file that has not changed.
void BM_QuietPoll(benchmark::State& state) {
    tally::LogTailer tailer(logFolder());
    tailer.seekToEnd();
    tailer.poll();
    for (auto _ : state) benchmark::DoNotOptimize(tailer.poll());
}

// A 32 GiB sparse file that turns up late, followed from its first byte: one poll reads only
// its last 64 MiB, so the tick that finds it stays short.
void BM_FirstPoll_LateSparseFile_32GiB(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tally-bench-XXXXXX").string();
    const std::string dir = ::mkdtemp(pattern.data());
    const std::string file = dir + "/MSTeams_huge.log";
    std::ofstream(file) << "UserPresenceAction: {availability: Busy}\n";
    std::filesystem::resize_file(file, 32ull << 30);
    std::ofstream(file, std::ios::app) << "\nUserPresenceAction: {availability: Away}\n";
    for (auto _ : state) {
        tally::LogTailer tailer(dir);
        benchmark::DoNotOptimize(tailer.poll());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(tally::LogTailer::maxPollBytes));
    std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_FirstPoll_LateSparseFile_32GiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupHistory_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuietPoll)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
