// How many LOOP answers the simulator gives over TCP loopback: one at a time (round trip) and
// with a window of commands in flight. Later benchmarks of the console run against it, so it
// must not be what limits them.
#include "protocol/PacketBufferClass.h"
#include "protocol/PacketReceiver.h"
#include "Simulator.h"
#include "protocol/stat.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

struct TRig {
    TRig() {
        zelsim::TSimConfig c;
        c.TcpPort = 0;
        Sim = std::make_unique<zelsim::TSimThread>(c);
        std::string error;
        if (!Sim->Start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            return;
        }
        Socket.connectToHost("127.0.0.1", Sim->TcpPort());
        Ok = Socket.waitForConnected(2000);
        Socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Receiver.Store = &Store;
    }
    // Reads until Count packets have come; false on a stall.
    bool Await(int Count) {
        while (Store.Count() < Count) {
            if (!Socket.waitForReadyRead(2000))
                return false;
            const QByteArray d = Socket.readAll();
            Receiver.Feed(reinterpret_cast<const uint8_t*>(d.constData()), size_t(d.size()));
        }
        Store.Clear();
        return true;
    }
    std::unique_ptr<zelsim::TSimThread> Sim;
    QTcpSocket Socket;
    TPacketBuffer Store{1 << 20};
    TPacketReceiver Receiver;
    bool Ok = false;
};

void BM_LoopRoundTrip(benchmark::State& state) {
    TRig rig;
    if (!rig.Ok) {
        state.SkipWithError("no simulator");
        return;
    }
    const TByteArray frame = MakeFrame(LOOP, TByteArray(size_t(state.range(0)), 0x55));
    for (auto _ : state) {
        rig.Socket.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
        rig.Socket.flush();
        if (!rig.Await(1)) {
            state.SkipWithError("answer missing");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("answers");
}
BENCHMARK(BM_LoopRoundTrip)->Arg(0)->Arg(64)->Arg(1024)->UseRealTime();

void BM_LoopWindow(benchmark::State& state) {
    TRig rig;
    if (!rig.Ok) {
        state.SkipWithError("no simulator");
        return;
    }
    const int window = int(state.range(0));
    TByteArray batch;
    const TByteArray one = MakeFrame(LOOP, TByteArray(8, 0x55));
    for (int i = 0; i < window; ++i)
        batch.insert(batch.end(), one.begin(), one.end());
    for (auto _ : state) {
        rig.Socket.write(reinterpret_cast<const char*>(batch.data()), qint64(batch.size()));
        rig.Socket.flush();
        if (!rig.Await(window)) {
            state.SkipWithError("answers missing");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * window);
    state.SetLabel("answers");
}
BENCHMARK(BM_LoopWindow)->Arg(16)->Arg(256)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    // The event dispatcher zel-sim runs with (an empty QT_NO_GLIB measures GLib's).
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
