// Receive path throughput: bytes per second through the receiver into the packet store, and the
// checksum routine on its own.
#include "protocol/PacketReceiver.h"
#include "protocol/crc.h"

#include <benchmark/benchmark.h>

namespace {

void BM_Receive(benchmark::State& state) {
    const size_t payload = size_t(state.range(0));
    TByteArray frame = MakeFrame(0x42, TByteArray(payload, 0x5A));
    // Enough frames per delivery to fill the engine's 4096-byte read chunk where they fit.
    TByteArray chunk;
    do {
        chunk.insert(chunk.end(), frame.begin(), frame.end());
    } while (chunk.size() + frame.size() <= 4096);

    TPacketBuffer store(1024);
    TPacketReceiver rx;
    rx.Store = &store;
    rx.OnPacket = [&] {
        TPacket p;
        while (store.Get(p))
            benchmark::DoNotOptimize(p.Payload.data());
    };
    int64_t packets = 0;
    for (auto _ : state) {
        // Deliver in at most 4096-byte reads, as the engine does.
        for (size_t off = 0; off < chunk.size(); off += 4096)
            rx.Feed(chunk.data() + off, std::min<size_t>(4096, chunk.size() - off));
        packets += int64_t(chunk.size() / frame.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(chunk.size()));
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Receive)->Arg(0)->Arg(56)->Arg(65527)->Arg(65535)->ArgName("payload");

void BM_Crc(benchmark::State& state) {
    TByteArray data(size_t(state.range(0)), 0x33);
    uint16_t c = 0;
    for (auto _ : state) {
        c = CrcUpdateLong(data.data(), data.size(), CrcStart);
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc)->Arg(64)->Arg(65535);

// One table step per byte, for comparison with the block routine above.
void BM_CrcBytewise(benchmark::State& state) {
    TByteArray data(size_t(state.range(0)), 0x33);
    uint16_t c = 0;
    for (auto _ : state) {
        c = CrcUpdateBytewise(data.data(), data.size(), CrcStart);
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CrcBytewise)->Arg(65535);

} // namespace

BENCHMARK_MAIN();
