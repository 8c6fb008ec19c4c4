// Figures of the command log as a protocol analyser, on the offscreen platform unless a display
// is given. Prints:
//  - live: 5,000 packets/s of mixed gripper traffic for 5 s with "Decode fields" on and the
//    automatic updates filtered out: CPU time of the process per second of traffic (the UI thread
//    is the only busy one) and packets still waiting for the view at the end;
//  - a million kept packets: resident size of the whole program, a search that finds nothing (a
//    full pass) as text and as hex bytes, "next failed answer" from the start, and one step of the
//    history's scroll bar to the start and back to the end;
//  - saving that history as CSV and opening it again.
#include "BenchProbes.h"
#include "ui/CommLogForm.h"
#include "zel/ZEL.h"
#include "protocol/convert.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace {
TByteArray Status(uint16_t S, std::initializer_list<uint8_t> Data = {}) {
    TByteArray p(2 + Data.size());
    WriteWord(p.data(), S);
    std::copy(Data.begin(), Data.end(), p.begin() + 2);
    return p;
}

// One packet of a gripper session: mostly position and force updates, now and then a move with
// its pending and final answers, rarely a failure.
void AddMixed(TCommLog& Log, uint64_t I) {
    const uint8_t k = uint8_t(I);
    switch (I % 10) {
    case 0:
        Log.AddPacket({TZEL::MOVE, 9, TZEL::MovePayload(float(I % 110), 50)}, false);
        break;
    case 1:
        Log.AddPacket({TZEL::MOVE, 2, Status(I % 1000 == 1 ? E_AXIS_BLOCKED : E_CMD_PENDING)}, true);
        break;
    case 2:
    case 4:
    case 6:
        Log.AddPacket({TZEL::GET_POS, 6, Status(0, {0, 0, k, 0x41})}, true);
        break;
    case 3:
    case 5:
        Log.AddPacket({TZEL::GET_FORCE, 6, Status(0, {0, 0, 0x20, 0x41})}, true);
        break;
    case 7:
        Log.AddPacket({TZEL::GET_SYSTEM_STATE, 6, Status(0, {0x01, 0, 0, 0})}, true);
        break;
    case 8:
        Log.AddPacket({TZEL::GET_GRASPING_STATE, 3, Status(0, {uint8_t(I % 8)})}, true);
        break;
    default:
        Log.AddPacket({TZEL::MOVE, 2, Status(E_SUCCESS)}, true);
        break;
    }
}

void HideUpdates(TCommLog& Log) {
    Log.findChild<QAction*>("miShowUpdates")->setChecked(false);
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The machine is shared: the figure is the CPU time of the thread doing the work (the UI
// thread), with the wall-clock time beside it.
double LastWallMs = 0;
template <class F> double Ms(F&& Work) {
    QElapsedTimer t;
    t.start();
    const double cpu = ThreadCpuMs();
    Work();
    LastWallMs = double(t.nsecsElapsed()) / 1e6;
    return ThreadCpuMs() - cpu;
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TZEL zel(nullptr);

    if (!qEnvironmentVariableIsSet("COMMLOG_BENCH_NO_LIVE")) {
        // Live: five packets every millisecond tick, the event loop running between them.
        TCommLog log;
        log.SetDevice(&zel);
        log.SetKeep(100000);
        log.findChild<QCheckBox*>("cbDecodeFields")->setChecked(true);
        log.findChild<QCheckBox*>("cbShowIDDescr")->setChecked(true);
        log.findChild<QCheckBox*>("cbEvaluateErrorCodes")->setChecked(true);
        HideUpdates(log);
        log.show();
        QCoreApplication::processEvents();
        constexpr int Seconds = 5;
        constexpr int Rate = 5000;
        uint64_t sent = 0;
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const uint64_t due = uint64_t(wall.elapsed()) * Rate / 1000;
            while (sent < due)
                AddMixed(log, sent++);
            if (wall.elapsed() >= Seconds * 1000)
                QCoreApplication::quit();
        });
        tick.start(1);
        QCoreApplication::exec();
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
        const double seconds = double(wall.elapsed()) / 1000.0;
        const int64_t waiting = int64_t(sent) - log.History().Count();
        std::printf("live: %llu packets in %.2f s (%.0f/s), decode + filter on: CPU %.1f %% of a core, "
                    "%lld packets not taken by the log\n",
                    (unsigned long long)sent, seconds, double(sent) / seconds, 100.0 * cpu / seconds,
                    (long long)std::max<int64_t>(0, waiting - 0));
    }

    const long before = ResidentKiB();
    TCommLog log;
    log.SetDevice(&zel);
    log.SetKeep(1000000);
    log.findChild<QCheckBox*>("cbDecodeFields")->setChecked(true);
    log.show();
    QCoreApplication::processEvents();
    const double fill = Ms([&] {
        for (uint64_t i = 0; i < 1000000; ++i)
            AddMixed(log, i);
        log.UpdateView();
    });
    std::printf("1,000,000 packets: logged in %.0f ms CPU; resident size %.1f MB (%.1f MB before the log)\n",
                fill, double(ResidentKiB()) / 1024.0, double(before) / 1024.0);
    const double text = Ms([&] { log.FindNext("no such text", false); });
    std::printf("  search without a hit (text): %.0f ms CPU (%.0f ms wall)\n", text, LastWallMs);
    const double hex = Ms([&] { log.FindNext("12 34 56", true); });
    std::printf("  search without a hit (hex bytes 12 34 56): %.0f ms CPU (%.0f ms wall)\n", hex, LastWallMs);
    const double failed = Ms([&] { log.FindNextFailed(); });
    std::printf("  next failed answer from the start: %.1f ms CPU (%.1f ms wall, hit %lld)\n", failed,
                LastWallMs, (long long)log.CurrentHit());
    double toStart = 0, toEnd = 0, wallStart = 0, wallEnd = 0;
    for (int i = 0; i < 5; ++i) {
        toStart = std::max(toStart, Ms([&] {
                               log.ScrollHistoryTo(0);
                               log.repaint();
                           }));
        wallStart = std::max(wallStart, LastWallMs);
        toEnd = std::max(toEnd, Ms([&] {
                             log.ScrollHistoryTo(1000000);
                             log.repaint();
                         }));
        wallEnd = std::max(wallEnd, LastWallMs);
    }
    std::printf("  scroll to the start: %.1f ms CPU (%.1f wall), back to the end: %.1f ms CPU (%.1f wall); "
                "worst of 5, painted\n",
                toStart, wallStart, toEnd, wallEnd);
    const double filter = Ms([&] { HideUpdates(log); });
    std::printf("  filter out the automatic updates: %.0f ms CPU (%lld shown)\n", filter,
                (long long)log.History().ShownCount());

    if (qEnvironmentVariableIsSet("COMMLOG_BENCH_NO_CSV"))
        return 0;
    QTemporaryDir dir;
    const QString path = dir.filePath("million.csv");
    const double save = Ms([&] { log.SaveToFile(path); });
    std::printf("save as CSV: %.0f ms CPU (%.0f ms wall), %.1f MB\n", save, LastWallMs,
                double(QFile(path).size()) / 1e6);
    TCommLog* opened = nullptr;
    const double open = Ms([&] { opened = log.OpenFile(path); });
    std::printf(
        "open the 1,000,000-row CSV: %.0f ms CPU (%.0f ms wall, %d packets); resident size now %.1f MB\n",
        open, LastWallMs, opened ? opened->History().Count() : 0, double(ResidentKiB()) / 1024.0);
    delete opened;
    return 0;
}
