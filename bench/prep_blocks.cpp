// How long building a run's fill data takes: PrepBlocks with the random text file reused (every
// run) and written anew (first run, or new text asked for), from the shipped quotes file; in
// memory, and through the Linux platform with real files in a temporary program directory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/linux/LinuxPlatform.h"
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
        return !w.StopRequested && w.Blocks.RandomBlock16[3].size() == 16 &&
               w.Blocks.QuoteBlock16[3].size() == 16;
    }
    FakePlatform p;
    FakeDesktop d;
    frmQuellix w;
};

void PrepBlocksReusingRandomText(benchmark::State& state) {
    Setup s;
    for (auto _ : state) {
        s.w.PrepBlocks();
        benchmark::DoNotOptimize(s.w.Blocks.QuoteBlock960000[3].data());
    }
    if (!s.complete()) state.SkipWithError("the fill data was not built");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 6048000);
}

void PrepBlocksWritingNewRandomText(benchmark::State& state) {
    Setup s;
    for (auto _ : state) {
        s.w.chkNewRndTxt.Value = 1;
        s.w.PrepBlocks();
        benchmark::DoNotOptimize(s.w.Blocks.QuoteBlock960000[3].data());
    }
    if (!s.complete()) state.SkipWithError("the fill data was not built");
}

// The same on real files: a temporary program directory that holds the quotes file.
void PrepBlocksOnLinuxFiles(benchmark::State& state, bool newText) {
    char templ[] = "/tmp/quellix-bench-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        state.SkipWithError("no temporary directory");
        return;
    }
    const std::string dir = templ;
    std::filesystem::copy_file(std::string(QUELLIX_SOURCE_DIR) + "/resources/QuellixQuotes.sav",
                               dir + "/QuellixQuotes.sav");
    LinuxPlatform::Options options;
    options.programDirectory = dir;
    options.drives = dir;  // never filled here; keeps the machine's drives out of the table
    LinuxPlatform platform(options);
    FakeDesktop d;
    frmQuellix w(platform, d);
    d.attach(w);
    w.PrepBlocks();
    for (auto _ : state) {
        if (newText) w.chkNewRndTxt.Value = 1;
        w.PrepBlocks();
        benchmark::DoNotOptimize(w.Blocks.QuoteBlock960000[3].data());
    }
    if (w.StopRequested || w.Blocks.QuoteBlock16[3].size() != 16) {
        state.SkipWithError("the fill data was not built");
    }
    std::filesystem::remove_all(dir);
}

BENCHMARK(PrepBlocksReusingRandomText)->Unit(benchmark::kMillisecond);
BENCHMARK(PrepBlocksWritingNewRandomText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrepBlocksOnLinuxFiles, ReusingRandomText, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrepBlocksOnLinuxFiles, WritingNewRandomText, true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
