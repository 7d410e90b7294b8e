// Throughput of the parser over a realistic log, against the floor of its marker tests.
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "LogGenerator.h"
#include "Parser.h"

namespace {

struct Corpus {
    std::string text;
    std::vector<std::string_view> lines;
};

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

const Corpus& realisticLog() {
    static const Corpus corpus = [] {
        Corpus c{tally::bench::generateLog(64u << 20), {}};
        c.lines = splitLines(c.text);
        return c;
    }();
    return corpus;
}

// Lines built to hurt, one kind per benchmark argument, each about 1 MiB.
Corpus hostileLine(int kind) {
    using namespace std::string_literals;
    std::string line;
    switch (kind) {
        case 0:  // invalid UTF-8 and NUL bytes around half a marker
            while (line.size() < (1u << 20)) line += "\xFF\xC3\x28\0\xE2\x82 UserPresenceAction: {\xF0\x9F"s;
            break;
        case 1:  // thousands of markers, none completing a pattern
            while (line.size() < (1u << 20))
                line += "UserPresenceAction: {availability: UpdateIconPresence Window: (name=x ";
            break;
        case 2:  // a match that spans the whole line
            line = "UpdateIconPresence " + std::string(1u << 20, 'x') +
                   " presence update to icon v2: Busy";
            break;
        default:  // no marker at all
            line.assign(1u << 20, 'a');
    }
    Corpus c{line, {}};
    c.lines = {c.text};
    return c;
}

bool anyMarker(std::string_view line) {
    return line.find("close prompt from web") != std::string_view::npos ||
           line.find("WindowCloseActionDestroy") != std::string_view::npos ||
           line.find("UserPresenceAction") != std::string_view::npos ||
           line.find("UpdateIconPresence") != std::string_view::npos;
}

void runParse(benchmark::State& state, const Corpus& corpus) {
    std::size_t events = 0;
    for (auto _ : state) {
        events = 0;
        for (std::string_view line : corpus.lines) events += tally::Parser::parse(line) ? 1 : 0;
        benchmark::DoNotOptimize(events);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.text.size()));
    state.counters["events"] = static_cast<double>(events);
}

void BM_Parse_RealisticLog(benchmark::State& state) { runParse(state, realisticLog()); }

void BM_MarkerTestsOnly_RealisticLog(benchmark::State& state) {
    const Corpus& corpus = realisticLog();
    for (auto _ : state) {
        std::size_t hits = 0;
        for (std::string_view line : corpus.lines) hits += anyMarker(line) ? 1 : 0;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.text.size()));
}

// The marker search over the whole log at once, as the start-up history walks it.
void BM_FindMarker_WholeLog(benchmark::State& state) {
    const Corpus& corpus = realisticLog();
    for (auto _ : state) {
        std::size_t hits = 0;
        for (std::size_t at = tally::Parser::findMarker(corpus.text); at != std::string::npos;
             at = tally::Parser::findMarker(corpus.text, at + 1))
            ++hits;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.text.size()));
}

void BM_Parse_HostileLine(benchmark::State& state) {
    const Corpus corpus = hostileLine(static_cast<int>(state.range(0)));
    runParse(state, corpus);
}

}  // namespace

BENCHMARK(BM_Parse_RealisticLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkerTestsOnly_RealisticLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMarker_WholeLog)->Unit(benchmark::kMillisecond);
// 0: invalid UTF-8 and NULs, 1: thousands of markers, 2: a line-long match, 3: plain text.
BENCHMARK(BM_Parse_HostileLine)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
