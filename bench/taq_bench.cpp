// Figures of the sensor window (run: build/bench/taq_bench [seconds
// [plain-10|run-length-10|plain-1|run-length-1]]): zel-sim as a sensor with the largest matrix it describes
// (160 x 200 = 32,000 cells; a plain frame is then 64,005 bytes, near the largest packet), sending periodic
// frames to a connected zel-taq window over loopback TCP, plain and run-length coded, every 10 ms (100
// frames/s) and every 1 ms (as fast as the simulator and the link deliver). For each: frames made by the
// simulator against frames decoded by the window (all of them, once the acquisition has stopped and the link
// drained), frames decoded per second, the UI thread's processor share, the receive store's high-water mark,
// and the age of the frame the map paints (from its decoding to the paint). QT_QPA_PLATFORM decides where the
// window goes (offscreen when unset).
#include "BenchProbes.h"
#include "engine/CommandComponent.h"
#include "ui/ConsoleApplication.h"
#include "platform/IniFile.h"
#include "SensorModel.h"
#include "Simulator.h"
#include "ui/TAQMainWin.h"
#include "ui/TaqAcquisition.h"
#include "ui/TaqMapPanel.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int MatrixWidth = 160;
constexpr int MatrixHeight = 200;

void RunFor(int Ms) {
    QEventLoop loop;
    QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
    loop.exec();
}

uint64_t FramesMade(zelsim::TSimThread& Sim) {
    uint64_t n = 0;
    Sim.Run([&](zelsim::TSimulator& S) { n = S.Sensor()->FramesMade(); });
    return n;
}

void Scenario(bool RunLength, int PeriodMs, int Seconds) {
    QTemporaryDir dir;
    TIniFile::SetSettingsFolder(dir.path());
    zelsim::TSimConfig cfg;
    cfg.Device = zelsim::EDeviceKind::Sensor;
    cfg.TcpPort = 0;
    cfg.Sensor.MatrixWidth = MatrixWidth;
    cfg.Sensor.MatrixHeight = MatrixHeight;
    zelsim::TSimThread sim(cfg);
    std::string error;
    if (!sim.Start(&error)) {
        std::printf("cannot start the simulator: %s\n", error.c_str());
        return;
    }
    auto win = std::make_unique<TTAQMainWin>();
    win->show();
    TIniFile ini(dir.filePath(QStringLiteral("link.ini")));
    ini.WriteString(QStringLiteral("link"), QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    ini.WriteInteger(QStringLiteral("link"), QStringLiteral("port"), sim.TcpPort());
    TTAQ& taq = *win->Taq();
    if (taq.ConnectFromSettings(1, ini, QStringLiteral("link")) != E_SUCCESS)
        return;
    const QAction* disconnect = win->findChild<QAction*>(QStringLiteral("miDisconnect"));
    for (int i = 0; i < 100 && !disconnect->isEnabled(); ++i)
        RunFor(50);
    if (!disconnect->isEnabled()) {
        std::printf("cannot connect to the simulator\n");
        return;
    }

    QElapsedTimer clock;
    clock.start();
    long decoded = 0;
    int storeHigh = 0;
    uint32_t lastStamp = 0;
    long outOfOrder = 0;
    qint64 newestAt = 0;
    // Heard after the window's own listener.
    taq.OnFrame.Add(&decoded, [&](TKORADevice*) {
        ++decoded;
        storeHigh = std::max(storeHigh, taq.Command()->PacketCount());
        if (decoded > 1 && taq.FrameData.Timestamp < lastStamp)
            ++outOfOrder;
        lastStamp = taq.FrameData.Timestamp;
        newestAt = clock.nsecsElapsed();
    });
    // Age of what a paint shows: the window shows the newest frame it has, so the age is the time
    // since the newest decode.
    std::vector<double> ages;
    long paints = 0;
    TPaintProbe probe(win->MapPanel().Map(), [&] {
        ++paints;
        if (newestAt > 0)
            ages.push_back((clock.nsecsElapsed() - newestAt) / 1e6);
    });

    const QString payload = QStringLiteral("0x%1 0x%2 0x%3")
                                .arg(RunLength ? 2 : 0, 2, 16, QLatin1Char('0'))
                                .arg(PeriodMs & 0xFF, 2, 16, QLatin1Char('0'))
                                .arg(PeriodMs >> 8, 2, 16, QLatin1Char('0'));
    win->findChild<QLineEdit*>(QStringLiteral("edStartPayload"))->setText(payload);
    win->Acquisition().btnStartClick();
    RunFor(500);
    const uint64_t made0 = FramesMade(sim);
    const long decoded0 = decoded;
    ages.clear();
    paints = 0;
    storeHigh = 0;
    const double cpu0 = CpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    RunFor(Seconds * 1000);
    const double cpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const uint64_t made1 = FramesMade(sim);
    const long decoded1 = decoded;
    try {
        win->Acquisition().btnStopClick();
    } catch (const std::exception& e) {
        std::printf("stop: %s\n", e.what());
    }
    RunFor(1000); // what was in flight arrives
    const uint64_t madeAll = FramesMade(sim);
    std::sort(ages.begin(), ages.end());
    const auto pct = [&](double P) { return ages.empty() ? 0 : ages[size_t(P * double(ages.size() - 1))]; };
    std::printf("%-10s every %2d ms: %6.1f frames/s decoded (%6.1f made), UI thread %5.1f %% of a core, "
                "store high-water %d packets, in flight at the end %ld frames; after the stop %ld of %llu "
                "frames decoded, %ld out of order; map %5.1f paints/s, frame age at paint median %.1f ms, "
                "max %.1f ms\n",
                RunLength ? "run-length" : "plain", PeriodMs, (decoded1 - decoded0) / elapsed,
                double(made1 - made0) / elapsed, 100 * cpu / elapsed, storeHigh, long(made1) - decoded1,
                decoded, static_cast<unsigned long long>(madeAll), outOfOrder, paints / elapsed, pct(0.5),
                ages.empty() ? 0 : ages.back());
    std::fflush(stdout);
    taq.OnFrame.Remove(&decoded);
    win.reset();
    TIniFile::SetSettingsFolder(QString());
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string only = argc > 2 ? argv[2] : ""; // plain-10, run-length-10, plain-1, run-length-1
    TConsoleApplication app(argc, argv);
    InitConsoleApplication(app);
    std::printf("zel-taq, %d x %d cells (%d), %d s per run\n", MatrixWidth, MatrixHeight,
                MatrixWidth * MatrixHeight, seconds);
    for (int period : {10, 1})
        for (bool rle : {false, true})
            if (only.empty() || only == (rle ? "run-length-" : "plain-") + std::to_string(period))
                Scenario(rle, period, seconds);
    return 0;
}
