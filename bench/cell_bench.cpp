// Many grippers in one process, each against its own zel-sim (on threads of this process) over
// TCP loopback, all driven from the main thread:
//  1. eight devices, each reporting position, force and both states every 1 ms: the main
//     thread's share of a core, reports per second, and the largest backlog in any receive store;
//  2. the round trip of one device (ExecuteCommand(LOOP)) alone and while the seven others stream,
//     in alternating rounds of the same run (goal: at most 1.3 times);
//  3. 32 devices connected from one thread, then one temperature read each: the total time, and
//     the resident size per device.
//   cell_bench [SECONDS]   (streaming time of part 1, 5 unless given)
#include "engine/CommandComponent.h"
#include "platform/IniFile.h"
#include "engine/LinkAddress.h"
#include "Simulator.h"
#include "zel/ZEL.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace {
// Processor time (user and system) in seconds of the calling thread.
double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct TStation {
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TZEL> Zel;
    long Reports = 0;
};

std::unique_ptr<zelsim::TSimThread> StartSim() {
    zelsim::TSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Gripper.StartReferenced = true;
    auto sim = std::make_unique<zelsim::TSimThread>(cfg);
    std::string error;
    if (!sim->Start(&error)) {
        std::fprintf(stderr, "cell_bench: zel-sim: %s\n", error.c_str());
        std::exit(1);
    }
    return sim;
}

// Runs the events for Ms, sleeping while there are none.
void Pump(int Ms) {
    QEventLoop loop;
    QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the events until Done or LimitMs.
void PumpUntil(const std::function<bool()>& Done, int LimitMs) {
    QElapsedTimer t;
    t.start();
    while (!Done() && t.elapsed() < LimitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// Opens every link at once and runs the events until every connect sequence has ended.
bool ConnectAll(std::vector<TStation>& Cell) {
    int done = 0;
    int accepted = 0;
    for (TStation& s : Cell) {
        s.Zel = std::make_unique<TZEL>(nullptr);
        s.Zel->OnConnect.Add(&Cell, [&accepted](TKORADevice*) { ++accepted; });
        s.Zel->OnConnectSequenceDone.Add(&Cell, [&done](TKORADevice*) { ++done; });
        TLinkAddress link;
        link.Tcp = {QStringLiteral("127.0.0.1"), s.Sim->TcpPort()};
        if (s.Zel->ConnectLink(link) != E_SUCCESS)
            return false;
    }
    PumpUntil([&] { return done == int(Cell.size()); }, 30000);
    for (TStation& s : Cell) {
        s.Zel->OnConnect.Remove(&Cell);
        s.Zel->OnConnectSequenceDone.Remove(&Cell);
    }
    return accepted == int(Cell.size());
}

void Stream(TStation& S, bool On) {
    TZEL& z = *S.Zel;
    z.AutoUpdatePosition(On, 1, false);
    z.AutoUpdateForce(On, 1, false);
    z.AutoUpdateGraspingState(On, 1, false);
    z.AutoUpdateSystemState(On, 1, false);
}

// Median round trip of Count LOOP exchanges, in microseconds.
double RoundTripUs(TZEL& Zel, int Count) {
    std::vector<double> us;
    us.reserve(size_t(Count));
    TByteArray data;
    TStat status = E_SUCCESS;
    QElapsedTimer t;
    for (int i = 0; i < Count; ++i) {
        t.start();
        if (!Zel.ExecuteCommand(LOOP, {}, data, status)) {
            std::fprintf(stderr, "cell_bench: exchange refused\n");
            std::exit(1);
        }
        us.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

void Disconnect(std::vector<TStation>& Cell) {
    for (TStation& s : Cell)
        if (s.Zel && s.Zel->IsConnected())
            s.Zel->Disconnect();
    Cell.clear();
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir settings;
    TIniFile::SetSettingsFolder(settings.path());
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // 1. Eight streaming devices.
    std::vector<TStation> cell(8);
    for (TStation& s : cell)
        s.Sim = StartSim();
    if (!ConnectAll(cell)) {
        std::fprintf(stderr, "cell_bench: not every gripper connected\n");
        return 1;
    }
    int storeHigh = 0;
    for (TStation& s : cell) {
        TStation* station = &s;
        const auto count = [station, &storeHigh](TKORADevice*) {
            ++station->Reports;
            storeHigh = std::max(storeHigh, station->Zel->Command()->PacketCount());
        };
        s.Zel->OnPositionChange.Add(&cell, count);
        s.Zel->OnForceChange.Add(&cell, count);
        s.Zel->OnGraspingStateChange.Add(&cell, count);
        s.Zel->OnSystemStateChange.Add(&cell, count);
        Stream(s, true);
    }
    Pump(500); // settled
    for (TStation& s : cell)
        s.Reports = 0;
    storeHigh = 0;
    const double cpu0 = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    Pump(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = ThreadCpuSeconds() - cpu0;
    long total = 0;
    long fewest = -1;
    for (const TStation& s : cell) {
        total += s.Reports;
        fewest = fewest < 0 ? s.Reports : std::min(fewest, s.Reports);
    }
    std::printf("eight devices, four reports each every 1 ms, %.1f s:\n", elapsed);
    std::printf("  main thread %.1f %% of a core (goal under 20 %%)\n", 100 * cpu / elapsed);
    std::printf("  %.0f reports/s in all, %.0f/s from the slowest device; largest receive store %d packets\n",
                double(total) / elapsed, double(fewest) / elapsed, storeHigh);

    // 2. Round trip of device 0, alone and beside seven streaming devices, in alternating rounds.
    Stream(cell[0], false);
    for (TStation& s : cell)
        for (auto* list : {&s.Zel->OnPositionChange, &s.Zel->OnForceChange, &s.Zel->OnGraspingStateChange,
                           &s.Zel->OnSystemStateChange})
            list->Remove(&cell);
    std::vector<double> alone;
    std::vector<double> beside;
    for (int round = 0; round < 5; ++round) {
        for (size_t i = 1; i < cell.size(); ++i)
            Stream(cell[i], false);
        Pump(100);
        alone.push_back(RoundTripUs(*cell[0].Zel, 1000));
        for (size_t i = 1; i < cell.size(); ++i)
            Stream(cell[i], true);
        Pump(100);
        beside.push_back(RoundTripUs(*cell[0].Zel, 1000));
    }
    std::sort(alone.begin(), alone.end());
    std::sort(beside.begin(), beside.end());
    const double a = alone[alone.size() / 2];
    const double b = beside[beside.size() / 2];
    std::printf("round trip of one device, median of 5 alternating rounds of 1000:\n");
    std::printf("  alone %.1f us, while seven others stream %.1f us: ratio %.2f (goal at most 1.3)\n", a, b,
                b / a);
    for (size_t i = 1; i < cell.size(); ++i)
        Stream(cell[i], false);
    Disconnect(cell);

    // 3. 32 devices from one thread.
    std::vector<TStation> many(32);
    for (TStation& s : many)
        s.Sim = StartSim();
    Pump(200);
    const long before = ResidentKiB();
    QElapsedTimer total32;
    total32.start();
    if (!ConnectAll(many)) {
        std::fprintf(stderr, "cell_bench: not all 32 grippers connected\n");
        return 1;
    }
    const double connectMs = double(total32.nsecsElapsed()) / 1e6;
    int answered = 0;
    for (TStation& s : many)
        s.Zel->StartExchange(CMD_ID_GET_TEMPERATURE, {}, [&answered](TKORADevice*, const TExchangeResult& R) {
            answered += R.Ok() ? 1 : 0;
        });
    PumpUntil([&] { return answered == 32; }, 60000);
    const double totalMs = double(total32.nsecsElapsed()) / 1e6;
    const long after = ResidentKiB();
    std::printf("32 devices from one thread: connected in %.0f ms, %d temperatures read, %.0f ms in all\n",
                connectMs, answered, totalMs);
    std::printf(
        "  resident size %.0f KiB per connected device (with its link's share of the simulators' side)\n",
        double(after - before) / 32.0);
    Disconnect(many);
    TIniFile::SetSettingsFolder(QString());
    return answered == 32 ? 0 : 1;
}
