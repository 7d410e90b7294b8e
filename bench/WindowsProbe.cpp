// The Windows figures, measured under Wine without Google Benchmark (not built for mingw):
//   windows-probe history FOLDER      the start-up history of a log folder, in milliseconds
//   windows-probe roundtrip PORT N    N light commands over the Windows serial link, each timed
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LightDevice.h"
#include "PresenceSource.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 2 ? argv[1] : "";
    if (what == "history") {
        const auto start = std::chrono::steady_clock::now();
        tally::LogPresenceSource source(tally::LogTailer(argv[2]), [] { return true; }, [](const std::string&) {});
        std::printf("history_ms=%.1f availability=%s\n", msSince(start),
                    source.tracker().availability ? "found" : "none");
        return 0;
    }
    if (what == "roundtrip" && argc > 3) {
        tally::LightDevice device(argv[2], [](const std::string& m) { std::printf("%s\n", m.c_str()); });
        device.update();
        if (!device.isConnected()) return 1;
        std::vector<double> ms;
        for (long i = 0, n = std::strtol(argv[3], nullptr, 10); i < n; ++i) {
            const auto start = std::chrono::steady_clock::now();
            device.sendNow(i % 2 ? "OFF" : "C 0 255 0");
            ms.push_back(msSince(start));
        }
        std::sort(ms.begin(), ms.end());
        std::printf("roundtrip commands=%zu median_ms=%.3f worst_ms=%.3f connected=%d\n", ms.size(),
                    ms[ms.size() / 2], ms.back(), device.isConnected());
        return 0;
    }
    std::fprintf(stderr, "usage: windows-probe history FOLDER | roundtrip PORT N\n");
    return 2;
}
