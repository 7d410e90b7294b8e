// Writes a generated log to a file, for comparisons with other tools: gen-log FILE [MiB] [SEED]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "LogGenerator.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen-log FILE [MiB] [SEED]\n");
        return 2;
    }
    const std::size_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 64;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    const std::string log = tally::bench::generateLog(mib << 20, seed);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(log.data(), static_cast<std::streamsize>(log.size()));
    return out ? 0 : 1;
}
