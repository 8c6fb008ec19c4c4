// The live plot window shown and fed with position and force at 1 kHz each; prints the processor
// share of the whole process (feeding included) and the longest frame (series update plus the paint
// that followed it).
//
//   plot_window_bench [--seconds N] [--rate HZ] [--window S] [--feed-ms MS] [--hidden]
//                     N also from ZEL_PLOT_BENCH_SECONDS; --hidden measures the feed alone
//   plot_window_bench --demo FILE.png                            a grasp cycle on zel-sim, then a screenshot
//
// With QT_QPA_PLATFORM=offscreen the window paints into memory; under xvfb-run it paints to an X server.
#include "platform/IniFile.h"
#include "ui/LivePlotForm.h"
#include "Simulator.h"
#include "zel/ZEL.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace {
double ProcessCpuSeconds() {
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

// A real event loop: processEvents with a time limit returns at once when idle and would spin.
void RunEventsFor(int Ms) {
    QEventLoop Loop;
    QTimer::singleShot(Ms, Qt::PreciseTimer, &Loop, &QEventLoop::quit);
    Loop.exec();
}

int RunLoad(double Seconds, int Rate, int Window, int FeedMs, bool Shown) {
    TLivePlot Plot;
    Plot.SetWindowLength(Window);
    if (Shown)
        Plot.show();
    RunEventsFor(300);

    // A grasp-like cycle every 4 s, with a little noise so that the reduction has work to do.
    auto Position = [](double T) { return 55 + 35 * std::cos(T * 1.5708) + 0.02 * std::sin(T * 977); };
    auto Force = [](double T) {
        return std::max(0.0, 60 * std::sin(T * 1.5708)) + 0.05 * std::sin(T * 1313);
    };

    QElapsedTimer Wall;
    int64_t Fed = 0;
    int64_t LongestGapUs = 0, LastTickUs = 0;
    QTimer Feed;
    Feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Feed, &QTimer::timeout, [&] {
        const int64_t NowUs = Wall.nsecsElapsed() / 1000;
        LongestGapUs = std::max(LongestGapUs, NowUs - LastTickUs);
        LastTickUs = NowUs;
        // Catch up with the samples due by now, as a burst of reports would arrive.
        const int64_t Due = NowUs * Rate / 1000000;
        for (; Fed < Due; ++Fed) {
            double T = double(Fed) / Rate;
            Plot.AddPosition(Position(T));
            Plot.AddForce(Force(T));
        }
    });
    Plot.ResetFrameStats();
    const double Cpu0 = ProcessCpuSeconds();
    Wall.start();
    Feed.start(FeedMs);
    RunEventsFor(int(Seconds * 1000));
    Feed.stop();
    const double WallS = double(Wall.nsecsElapsed()) / 1e9;
    const double CpuS = ProcessCpuSeconds() - Cpu0;
    const auto& S = Plot.FrameStats();

    std::printf("platform              %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("window                %d s, %dx%d, %s\n", Window, Plot.width(), Plot.height(),
                Plot.isVisible() ? "shown" : "hidden (the feed alone)");
    std::printf("feed timer            every %d ms\n", FeedMs);
    std::printf("samples fed           %lld position + %lld force (%d Hz each)\n", (long long)Fed,
                (long long)Fed, Rate);
    std::printf("wall time             %.2f s\n", WallS);
    std::printf("processor time        %.2f s\n", CpuS);
    std::printf("processor share       %.1f %% of a core\n", 100.0 * CpuS / WallS);
    std::printf("frames                %llu (%.1f per s)\n", (unsigned long long)S.Frames,
                double(S.Frames) / WallS);
    std::printf("mean frame            %.2f ms\n",
                S.Frames ? double(S.TotalFrameUs) / double(S.Frames) / 1000 : 0.0);
    std::printf("longest frame         %.2f ms\n", double(S.LongestFrameUs) / 1000);
    std::printf("longest feed gap      %.2f ms (event loop held up)\n", double(LongestGapUs) / 1000);
    std::printf("buffer when full      %.1f MB (%zu samples per channel)\n",
                double(Plot.Buffer().BytesWhenFull()) / 1e6, Plot.Buffer().Position().Capacity());
    return 0;
}

// Move, grasp, hold, release and a grasp with no part, on the simulator; then a screenshot.
int RunDemo(const QString& File) {
    QTemporaryDir Dir;
    TIniFile::SetSettingsFolder(Dir.path());
    zelsim::TSimConfig Cfg;
    Cfg.TcpPort = 0;
    Cfg.Gripper.StartReferenced = true;
    Cfg.Gripper.StartPosition = 30;
    Cfg.Gripper.ForceRate = 150;
    zelsim::TSimThread Sim(Cfg);
    std::string Error;
    if (!Sim.Start(&Error)) {
        std::fprintf(stderr, "simulator: %s\n", Error.c_str());
        return 1;
    }
    TZEL Zel(nullptr);
    TIniFile Ini(Dir.filePath(QStringLiteral("link.ini")));
    Ini.WriteString(QStringLiteral("link"), QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    Ini.WriteInteger(QStringLiteral("link"), QStringLiteral("port"), Sim.TcpPort());
    bool Accepted = false;
    Zel.OnConnect = [&](TKORADevice*) { Accepted = true; };
    if (Zel.ConnectFromSettings(1, Ini, QStringLiteral("link")) != E_SUCCESS)
        return 1;
    for (int I = 0; I < 100 && !Accepted; ++I)
        RunEventsFor(50);
    if (!Accepted) {
        std::fprintf(stderr, "no connection to the simulator\n");
        return 1;
    }

    TLivePlot Plot;
    Plot.SetWindowLength(10);
    Zel.OnPositionChange = [&](TKORADevice*) { Plot.AddPosition(Zel.Position); };
    Zel.OnForceChange = [&](TKORADevice*) { Plot.AddForce(Zel.Force); };
    Zel.OnGraspingStateChange = [&](TKORADevice*) { Plot.AddGraspingState(Zel.GraspingState); };
    Zel.AutoUpdatePosition(true, 10, true);
    Zel.AutoUpdateForce(true, 10, true);
    Zel.AutoUpdateGraspingState(true, 10, true);
    Plot.show();

    auto Motion = [&](const std::function<TStat(TAsyncResultEvent)>& Start, int AfterMs) {
        std::optional<TStat> Final;
        Start([&](TKORADevice*, int32_t, TStat S, const TByteArray&) { Final = S; });
        for (int I = 0; I < 200 && !Final; ++I)
            RunEventsFor(20);
        RunEventsFor(AfterMs);
    };
    RunEventsFor(500);
    Motion([&](TAsyncResultEvent R) { return Zel.Move(80, 60, R); }, 400);
    Motion([&](TAsyncResultEvent R) { return Zel.Grasp(20, 60, R); }, 1500);
    Motion([&](TAsyncResultEvent R) { return Zel.Release(70, 80, R); }, 400);
    Motion([&](TAsyncResultEvent R) { return Zel.Grasp(40, 80, R); }, 800);
    Motion([&](TAsyncResultEvent R) { return Zel.Move(60, 80, R); }, 600);

    // The screen as the X server shows it, cut to the window's frame.
    QPixmap Shot = Plot.screen()->grabWindow(0, Plot.frameGeometry().x(), Plot.frameGeometry().y(),
                                             Plot.frameGeometry().width(), Plot.frameGeometry().height());
    if (Shot.isNull() || Shot.toImage().allGray())
        Shot = Plot.grab();
    bool Saved = Shot.save(File, "PNG");
    std::printf("%s %s (%dx%d, platform %s)\n", Saved ? "saved" : "could not save", qPrintable(File),
                Shot.width(), Shot.height(), qPrintable(QGuiApplication::platformName()));
    Zel.Disconnect();
    TIniFile::SetSettingsFolder(QString());
    return Saved ? 0 : 1;
}
} // namespace

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    double Seconds = 60;
    if (const char* Env = std::getenv("ZEL_PLOT_BENCH_SECONDS"))
        Seconds = std::atof(Env);
    int Rate = 1000, Window = 60, FeedMs = 1;
    bool Shown = true;
    for (int I = 1; I < argc; I += 2) {
        if (!std::strcmp(argv[I], "--hidden")) {
            Shown = false;
            --I;
        } else if (I + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", argv[I]);
            return 2;
        } else if (!std::strcmp(argv[I], "--feed-ms"))
            FeedMs = std::atoi(argv[I + 1]);
        else if (!std::strcmp(argv[I], "--seconds"))
            Seconds = std::atof(argv[I + 1]);
        else if (!std::strcmp(argv[I], "--rate"))
            Rate = std::atoi(argv[I + 1]);
        else if (!std::strcmp(argv[I], "--window"))
            Window = std::atoi(argv[I + 1]);
        else if (!std::strcmp(argv[I], "--demo"))
            return RunDemo(QString::fromLocal8Bit(argv[I + 1]));
        else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--rate HZ] [--window S] [--feed-ms MS] [--hidden] | "
                         "--demo FILE.png\n",
                         argv[0]);
            return 2;
        }
    }
    if (Seconds <= 0 || Rate <= 0 || FeedMs <= 0) {
        std::fprintf(stderr, "seconds and rate must be positive\n");
        return 2;
    }
    return RunLoad(Seconds, Rate, Window, FeedMs, Shown);
}
