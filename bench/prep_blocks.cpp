// How long building a run's fill data takes: PrepBlocks with the random text file reused (every
// run) and written anew (first run, or new text asked for), from the shipped quotes file.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

std::string shippedQuotes() {
    std::ifstream in(std::string(QUELLIX_SOURCE_DIR) + "/resources/QuellixQuotes.sav",
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Setup {
    Setup() : w(p, d) {
        d.attach(w);
        p.hostFiles[p.programDir + "/QuellixQuotes.sav"] = shippedQuotes();
        w.PrepBlocks();  // writes the random text file the runs below reuse
    }
    bool complete() const {
        return !w.StopRequested && w.RandomBlock16[3].size() == 16 &&
               w.QuoteBlock16[3].size() == 16;
    }
    FakePlatform p;
    FakeDesktop d;
    frmQuellix w;
};

void PrepBlocksReusingRandomText(benchmark::State& state) {
    Setup s;
    for (auto _ : state) {
        s.w.PrepBlocks();
        benchmark::DoNotOptimize(s.w.QuoteBlock960000[3].data());
    }
    if (!s.complete()) state.SkipWithError("the fill data was not built");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 6048000);
}

void PrepBlocksWritingNewRandomText(benchmark::State& state) {
    Setup s;
    for (auto _ : state) {
        s.w.chkNewRndTxt.Value = 1;
        s.w.PrepBlocks();
        benchmark::DoNotOptimize(s.w.QuoteBlock960000[3].data());
    }
    if (!s.complete()) state.SkipWithError("the fill data was not built");
}

BENCHMARK(PrepBlocksReusingRandomText)->Unit(benchmark::kMillisecond);
BENCHMARK(PrepBlocksWritingNewRandomText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
