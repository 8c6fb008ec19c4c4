// Receive throughput of the command engine through each kind of socket transport: a loopback
// peer sends LOOP answers, the engine frames them into packets and the benchmark takes them.
#include "engine/CommandComponent.h"
#include "platform/IniFile.h"
#include "protocol/PacketReceiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

namespace {
QByteArray Frames(int Count, int Payload) {
    const TByteArray f = MakeFrame(0x06, TByteArray(size_t(Payload), 0x5A));
    QByteArray one(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
    return one.repeated(Count);
}

// Takes every packet as it is stored, as the device layer does, and waits for Count of them.
bool Drain(TCommand& Engine, int Count) {
    int got = 0;
    TPacket p;
    Engine.OnPacket = [&](TCommand*) {
        while (Engine.GetPacket(p))
            ++got;
    };
    QElapsedTimer t;
    t.start();
    while (got < Count && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    Engine.OnPacket = nullptr;
    return got == Count;
}

void TcpReceive(benchmark::State& State) {
    const int payload = int(State.range(0));
    const int count = std::max(1, (1 << 20) / (payload + 8));
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    TCommand engine(nullptr);
    TIniFile ini(TIniFile::PathFor("bench.ini"));
    ini.WriteString("tcp", "host", "127.0.0.1");
    ini.WriteInteger("tcp", "port", server.serverPort());
    engine.ConnectFromSettings(1, ini, "tcp");
    server.waitForNewConnection(5000);
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    while (!engine.IsConnected())
        QCoreApplication::processEvents();
    const QByteArray data = Frames(count, payload);
    for (auto _ : State) {
        peer->write(data);
        if (!Drain(engine, count)) {
            State.SkipWithError("packets missing");
            break;
        }
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * data.size());
    State.SetItemsProcessed(int64_t(State.iterations()) * count);
}
BENCHMARK(TcpReceive)->Arg(0)->Arg(64)->Arg(1024)->Arg(16384)->Unit(benchmark::kMillisecond);

void UdpReceive(benchmark::State& State) {
    const int payload = int(State.range(0));
    const int count = 256;
    QUdpSocket peer;
    peer.bind(QHostAddress::LocalHost, 0);
    TCommand engine(nullptr);
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 listening = probe.localPort();
    probe.close();
    TIniFile ini(TIniFile::PathFor("bench.ini"));
    ini.WriteString("udp", "ipaddr", "127.0.0.1");
    ini.WriteInteger("udp", "listening_port", listening);
    ini.WriteInteger("udp", "transmit_port", peer.localPort());
    engine.ConnectFromSettings(2, ini, "udp");
    const QByteArray frame = Frames(1, payload);
    for (auto _ : State) {
        // In steps small enough for the 4096-byte receive queue.
        for (int sent = 0; sent < count;) {
            for (int i = 0; i < 2 && sent < count; ++i, ++sent)
                peer.writeDatagram(frame, QHostAddress::LocalHost, listening);
            QCoreApplication::processEvents();
        }
        if (!Drain(engine, count)) {
            State.SkipWithError("packets missing");
            break;
        }
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * count * frame.size());
    State.SetItemsProcessed(int64_t(State.iterations()) * count);
}
BENCHMARK(UdpReceive)->Arg(0)->Arg(64)->Arg(1024)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    QTemporaryDir settings;
    TIniFile::SetSettingsFolder(settings.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
