// Device layer figures against zel-sim on its own thread, over TCP loopback:
//  - ExecuteCommand(LOOP) round trip, beside a plain blocking-socket ping-pong of the same frames
//    between two threads (goal: at most 1.5 times the plain time; the ratio is printed at the end);
//  - processor time of the UI thread during a 2000 ms timeout wait (goal: under 5 % of a core);
//  - "watch" at a 1 ms period with every report sent: report rate, largest backlog seen in the
//    packet store and in the socket, and the UI thread's processor share.
#include "engine/CommandComponent.h"
#include "platform/IniFile.h"
#include "Simulator.h"
#include "zel/ZEL.h"
#include "ZelctlArguments.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"
#include "protocol/tick.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>

namespace {
double CpuSeconds(int Who) {
    rusage u{};
    getrusage(Who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double ThreadCpuSeconds() {
    return CpuSeconds(RUSAGE_THREAD);
}

// Processor time of both ends (all threads of the process) per round trip: unlike the wall
// time it hardly depends on what else the machine runs.
void CountProcessCpu(benchmark::State& State, double Before) {
    State.counters["cpu_us_both_ends"] =
        1e6 * (CpuSeconds(RUSAGE_SELF) - Before) / double(State.iterations());
}

// Wall time per round trip of the last run of each, for the ratio printed at the end.
double GExchangeNs = 0;
double GPingPongNs = 0;

std::unique_ptr<zelsim::TSimThread> StartSim() {
    zelsim::TSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Gripper.StartReferenced = true;
    auto sim = std::make_unique<zelsim::TSimThread>(cfg);
    std::string error;
    if (!sim->Start(&error))
        return nullptr;
    return sim;
}

// A gripper connected to the simulator the way zelctl does it, without any dialog.
struct TConnected {
    QTemporaryDir Dir;
    // The transports take their settings files' paths when they are created.
    bool FolderSet = (TIniFile::SetSettingsFolder(Dir.path()), true);
    std::unique_ptr<zelsim::TSimThread> Sim = StartSim();
    TZEL Zel{nullptr};

    bool Connect() {
        if (!Sim)
            return false;
        TIniFile ini(Dir.filePath(QStringLiteral("link.ini")));
        ini.WriteString(QStringLiteral("link"), QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        ini.WriteInteger(QStringLiteral("link"), QStringLiteral("port"), Sim->TcpPort());
        bool accepted = false;
        Zel.OnConnect = [&accepted](TKORADevice*) { accepted = true; };
        if (Zel.ConnectFromSettings(1, ini, QStringLiteral("link")) != E_SUCCESS)
            return false;
        QElapsedTimer t;
        t.start();
        while (!accepted && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        Zel.OnConnect = nullptr;
        return accepted;
    }
    ~TConnected() {
        Zel.Disconnect();
        TIniFile::SetSettingsFolder(QString());
    }
};

void BM_ExecuteCommandLoop(benchmark::State& State) {
    TConnected c;
    if (!c.Connect()) {
        State.SkipWithError("cannot connect to the simulator");
        return;
    }
    TByteArray data;
    TStat status = E_SUCCESS;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    for (auto _ : State) {
        if (!c.Zel.ExecuteCommand(LOOP, {}, data, status)) {
            State.SkipWithError("exchange refused");
            break;
        }
    }
    GExchangeNs = double(wall.nsecsElapsed()) / double(State.iterations());
    CountProcessCpu(State, cpu);
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_ExecuteCommandLoop)->MinTime(2.0)->UseRealTime();

// The same frames (an 8-byte LOOP request, a 10-byte answer) between two threads on blocking sockets.
void BM_PlainSocketPingPong(benchmark::State& State) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    listen(server, 1);
    getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
    const TByteArray request = MakeFrame(LOOP, {});
    const TByteArray answer = MakeFrame(LOOP, {0, 0});
    auto exact = [](int Fd, uint8_t* Buffer, size_t Count) {
        size_t got = 0;
        while (got < Count) {
            const ssize_t n = read(Fd, Buffer + got, Count - got);
            if (n <= 0)
                return false;
            got += size_t(n);
        }
        return true;
    };
    std::thread echo([&] {
        const int fd = accept(server, nullptr, nullptr);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        uint8_t buf[8];
        while (exact(fd, buf, sizeof(buf)))
            if (write(fd, answer.data(), answer.size()) != ssize_t(answer.size()))
                break;
        close(fd);
    });
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    uint8_t buf[10];
    const double cpu = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    for (auto _ : State) {
        if (write(client, request.data(), request.size()) != ssize_t(request.size()) ||
            !exact(client, buf, sizeof(buf))) {
            State.SkipWithError("socket failed");
            break;
        }
    }
    GPingPongNs = double(wall.nsecsElapsed()) / double(State.iterations());
    CountProcessCpu(State, cpu);
    State.SetItemsProcessed(State.iterations());
    close(client);
    echo.join();
    close(server);
}
BENCHMARK(BM_PlainSocketPingPong)->MinTime(2.0)->UseRealTime();

void BM_TimeoutWaitCpu(benchmark::State& State) {
    TConnected c;
    if (!c.Connect()) {
        State.SkipWithError("cannot connect to the simulator");
        return;
    }
    zelsim::TFaultConfig drop;
    drop.DropShare = 1;
    c.Sim->Run([drop](zelsim::TSimulator& S) { S.SetFaults(drop); });
    double cpu = 0;
    double wall = 0;
    for (auto _ : State) {
        QElapsedTimer t;
        t.start();
        const double before = ThreadCpuSeconds();
        try {
            c.Zel.GetTemperature();
        } catch (const EDuruzadUdror&) {
            // the timeout is the point
        }
        cpu += ThreadCpuSeconds() - before;
        wall += t.nsecsElapsed() / 1e9;
    }
    State.counters["cpu_share_pct"] = 100.0 * cpu / wall;
    State.counters["wait_ms"] = 1000.0 * wall / double(State.iterations());
}
BENCHMARK(BM_TimeoutWaitCpu)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Counts the state reports as the device takes them from the store.
class TReportCounter : public TCommLogSink {
public:
    QElapsedTimer Clock;
    int64_t LastSecondMs = 0;
    int Total = 0;
    int First = 0; // in the first second
    int Last = 0;  // in the last second
    void AddPacket(const TPacket& Packet, bool Received) override {
        if (!Received || Packet.CommandID < TZEL::GET_SYSTEM_STATE || Packet.CommandID > TZEL::GET_FORCE)
            return;
        const qint64 ms = Clock.elapsed();
        ++Total;
        First += ms < 1000 ? 1 : 0;
        Last += ms >= LastSecondMs && ms < LastSecondMs + 1000 ? 1 : 0;
    }
};

void BM_Watch1ms(benchmark::State& State) {
    auto sim = StartSim();
    if (!sim) {
        State.SkipWithError("cannot start the simulator");
        return;
    }
    QTemporaryDir dir;
    TIniFile::SetSettingsFolder(dir.path());
    TZelctlArguments args;
    QString error;
    const QString seconds = QString::number(State.range(0));
    args.Parse({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim->TcpPort()), "watch", seconds, "--period",
                "1", "--always"},
               error);
    QFile sink(QStringLiteral("/dev/null"));
    sink.open(QIODevice::WriteOnly);
    QTextStream out(&sink);
    QTextStream err(stderr);
    for (auto _ : State) {
        TZelctlSession session(args, out, err);
        int maxStore = 0;
        int maxSocket = 0;
        QElapsedTimer clock;
        // Samples the backlog while the watch runs its event loop.
        QTimer sampler;
        sampler.setInterval(20);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            TCommand* engine = session.Device()->Command();
            maxStore = std::max(maxStore, engine->PacketCount());
            if (TDevice* d = engine->ActiveDevice())
                maxSocket = std::max(maxSocket, int(d->BytesAvailable()));
        });
        TZelctlRunner runner(session);
        if (!session.Connect()) {
            State.SkipWithError("cannot connect to the simulator");
            break;
        }
        TReportCounter counter;
        counter.LastSecondMs = (State.range(0) - 1) * 1000;
        session.Device()->SetCommLog(&counter);
        counter.Clock.start();
        clock.start();
        sampler.start();
        const double before = ThreadCpuSeconds();
        TZelctlCommand watch{"watch", {seconds, "--period", "1", "--always"}, {}};
        const bool ok = runner.Execute(watch);
        const double cpu = ThreadCpuSeconds() - before;
        const double wall = clock.nsecsElapsed() / 1e9;
        sampler.stop();
        session.Disconnect();
        session.Device()->SetCommLog(nullptr);
        if (!ok) {
            State.SkipWithError("watch failed");
            break;
        }
        State.counters["cpu_share_pct"] = 100.0 * cpu / wall;
        State.counters["max_store_packets"] = maxStore;
        State.counters["max_socket_bytes"] = maxSocket;
        // Four reports per period when the simulator keeps its 1 ms timers; what matters is that
        // the rate holds from the first second to the last.
        State.counters["reports_per_s"] = counter.Total / wall;
        State.counters["reports_first_s"] = counter.First;
        State.counters["reports_last_s"] = counter.Last;
    }
    TIniFile::SetSettingsFolder(QString());
}
BENCHMARK(BM_Watch1ms)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The event dispatcher zelctl and zel-sim run with (an empty QT_NO_GLIB measures GLib's).
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (GExchangeNs > 0 && GPingPongNs > 0)
        std::printf("exchange round trip / plain ping-pong: %.0f ns / %.0f ns = %.2f\n", GExchangeNs,
                    GPingPongNs, GExchangeNs / GPingPongNs);
    return 0;
}
