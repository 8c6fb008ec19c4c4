// Live plot buffer: cost per sample of appending to a full ring and of reducing a window of
// samples to pixel columns (60 s and 5 min at 1 kHz into 800 columns).
#include "ui/PlotBuffer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {
// A clock that moves 1 ms per reading: one sample per millisecond, as at 1 kHz.
struct TTickingClock {
    int64_t Now = 0;
    TPlotClock Source() {
        return [this] { return Now += 1000; };
    }
};

double Wave(int64_t I) {
    return 50 + 30 * std::sin(double(I) * 0.00157) + double(I % 7) * 0.01;
}

void BM_PlotAppend(benchmark::State& State) {
    TTickingClock Clock;
    TPlotBuffer Buffer(Clock.Source());
    // Fill first, so that every measured append overwrites the oldest sample.
    for (size_t I = 0; I < TPlotBuffer::DefaultSamples; ++I)
        Buffer.AddPosition(Wave(int64_t(I)));
    // Values prepared beforehand, so that only the append is measured.
    std::vector<double> Values(4096);
    for (size_t I = 0; I < Values.size(); ++I)
        Values[I] = Wave(int64_t(I));
    size_t I = 0;
    for (auto _ : State)
        Buffer.AddPosition(Values[++I & 4095]);
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_PlotAppend);

void BM_PlotReduce(benchmark::State& State) {
    const int Seconds = int(State.range(0));
    TTickingClock Clock;
    TPlotBuffer Buffer(Clock.Source());
    for (int64_t I = 0; I < int64_t(TPlotBuffer::DefaultSamples); ++I)
        Buffer.AddForce(Wave(I));
    const double End = Buffer.LastTime().value_or(0);
    size_t Points = 0;
    for (auto _ : State) {
        auto Reduced = ReducePoints(Buffer, Buffer.Force(), End - Seconds, End, 800);
        Points = Reduced.size();
        benchmark::DoNotOptimize(Reduced.data());
    }
    State.counters["points"] = double(Points);
    // Per sample in the window.
    State.SetItemsProcessed(State.iterations() * Seconds * 1000);
}
BENCHMARK(BM_PlotReduce)->Arg(60)->Arg(300)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
