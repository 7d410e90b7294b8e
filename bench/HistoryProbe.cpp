// Reads the start-up history of a log folder once and reports its time and the peak resident
// memory against the idle process; then polls the followed file a given number of times, so
// that a system-call tracer can count what a quiet poll costs.
//   history-probe FOLDER [POLLS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "PresenceSource.h"

namespace {

long peakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
#if defined(__APPLE__)
    return usage.ru_maxrss / 1024;  // bytes there, KiB on Linux
#else
    return usage.ru_maxrss;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: history-probe FOLDER [POLLS]\n");
        return 2;
    }
    const long polls = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    const long idle = peakResidentKiB();
    const auto start = std::chrono::steady_clock::now();
    tally::LogPresenceSource source(tally::LogTailer(argv[1]), [] { return true; },
                                    [](const std::string& m) { std::printf("log: %s\n", m.c_str()); });
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("history_ms=%.1f idle_rss_kib=%ld peak_rss_kib=%ld above_idle_kib=%ld\n", ms, idle,
                peakResidentKiB(), peakResidentKiB() - idle);
    std::fflush(stdout);
    for (long i = 0; i < polls; ++i) source.poll();
    return 0;
}
