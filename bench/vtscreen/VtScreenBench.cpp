// Throughput of the screen primitives the parser's hot path uses.

#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "apps/common/CommandLine.h"
#include "vt/VtScreen.h"

namespace {

void Setup(CVtScreen& screen, int scrollback)
{
    screen.SetEnabled(true);
    screen.AllocateBuffers(scrollback, kDefaultRows - 1, kDefaultColumns);
    screen.SetSmoothScroll(false);
}

// Full lines with a line feed after each: every line scrolls the screen into history.
void BM_WriteLinesAndScroll(benchmark::State& state)
{
    CVtScreen screen;
    Setup(screen, static_cast<int>(state.range(0)));
    const std::string line(79, 'x');
    screen.SetCursor(kDefaultRows - 1, 0);
    for (auto _ : state) {
        screen.WriteRun(reinterpret_cast<const uint8_t*>(line.data()), 79);
        screen.NewLine(true);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 80);
}
BENCHMARK(BM_WriteLinesAndScroll)->Arg(100)->Arg(10000);

// Short runs, as between attribute changes.
void BM_WriteShortRuns(benchmark::State& state)
{
    CVtScreen screen;
    Setup(screen, 100);
    const uint8_t run[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i)
            screen.WriteRun(run, 8);
        screen.SetCursor(screen.CursorRow(), 0);
        screen.SetWrapPending(false);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 80);
}
BENCHMARK(BM_WriteShortRuns);

// A margin region that leaves the last row alone (a status row), scrolled from the top.
void BM_ScrollRegionAboveStatusRow(benchmark::State& state)
{
    CVtScreen screen;
    Setup(screen, static_cast<int>(state.range(0)));
    for (auto _ : state)
        screen.ScrollRegion(0, kDefaultRows - 2, 1, false, false);
}
BENCHMARK(BM_ScrollRegionAboveStatusRow)->Arg(100)->Arg(10000);

}  // namespace

int main(int argc, char** argv)
{
    // Ours first (--help, --version, anything unknown); Google Benchmark's own options pass.
    const CProgramInfo info{
        "vtscreen_bench",
        "VoltTCP screen model benchmark",
        VOLTTCP_VERSION,
        "Times of the terminal's screen operations.",
        "  --benchmark_...      Google Benchmark's options, e.g. --benchmark_filter=REGEX\n",
        false};
    std::vector<char*> ours;
    for (int i = 0; i < argc; ++i) {
        if (i == 0 || std::strncmp(argv[i], "--benchmark_", 12) != 0)
            ours.push_back(argv[i]);
    }
    if (const auto exitCode = CCommandLine(info, {}).Parse(static_cast<int>(ours.size()), ours.data()))
        return *exitCode;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
