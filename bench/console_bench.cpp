// Figures of the console window (run: build/bench/console_bench [startup|live|memory]):
//  - start-up: process start to the main window's first paint, beside a bare QMainWindow and a bare
//    window with one label started the same way; median of repeated runs;
//  - live updates: zel-sim reporting position, force, system and grasping state every 1 ms with
//    every report sent, to a connected window: the UI thread's processor share, the receive
//    store's high-water mark, and the lag from a report's arrival at the socket to its label text
//    (goal: under 10 % of a core, no backlog);
//  - memory: resident size after connect and after every 25,000 of 100,000 exchanges.
// QT_QPA_PLATFORM decides where the windows go (offscreen when unset).
#include "BenchProbes.h"
#include "engine/CommandComponent.h"
#include "ui/ConsoleApplication.h"
#include "ui/DeviceTagDialog.h"
#include "platform/IniFile.h"
#include "Simulator.h"
#include "ui/ZELMainWin.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace {
double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

// Child of the start-up figure: shows one window and reports its first paint, with the time
// spent in the program since main() began.
class TFirstPaint : public QObject {
public:
    TFirstPaint(QWidget* Window, const QElapsedTimer& SinceMain) : FWindow(Window), FSinceMain(SinceMain) {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* O, QEvent* E) override {
        if (E->type() == QEvent::Paint && O->isWidgetType() &&
            static_cast<QWidget*>(O)->window() == FWindow) {
            std::printf("painted %.3f\n", FSinceMain.nsecsElapsed() / 1e6);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }

private:
    QWidget* FWindow;
    const QElapsedTimer& FSinceMain;
};

int StartupChild(int argc, char** argv, bool Console, bool Text) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    // The bare windows run on a plain QApplication, as a bare Qt program would.
    std::unique_ptr<QApplication> app = Console ? std::make_unique<TConsoleApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    QTemporaryDir settings;
    TIniFile::SetSettingsFolder(settings.path());
    std::unique_ptr<QMainWindow> w;
    if (Console) {
        InitConsoleApplication(*app);
        auto* m = new TMainWin;
        DeviceTagDlg = new TDeviceTagDlg(m);
        w.reset(m);
    } else {
        w = std::make_unique<QMainWindow>();
        w->resize(820, 797);
        // With a line of text the bare window pays for the font set-up too, as every window that
        // shows text does; without it the comparison also measures fontconfig's start.
        if (Text)
            w->setCentralWidget(new QLabel(QStringLiteral("ZEL Duruzadud"), w.get()));
    }
    TFirstPaint probe(w.get(), sinceMain);
    w->show();
    return app->exec();
}

void Startup(const QString& Self) {
    const int runs = 31;
    const char* modes[3] = {"--child-console", "--child-bare", "--child-label"};
    std::vector<double> times[3], inMain[3];
    for (int i = 0; i < runs * 3; ++i) {
        const int m = i % 3;
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(Self, {modes[m]});
        if (!p.waitForReadyRead(20000)) {
            std::printf("start-up: child did not paint\n");
            return;
        }
        const double elapsed = t.nsecsElapsed() / 1e6;
        const QList<QByteArray> answer = p.readAll().simplified().split(' ');
        if (answer.size() != 2 || answer[0] != "painted") {
            std::printf("start-up: child did not paint\n");
            return;
        }
        times[m].push_back(elapsed);
        inMain[m].push_back(answer[1].toDouble());
        p.waitForFinished(5000);
    }
    const double c = Median(times[0]), b = Median(times[1]), l = Median(times[2]);
    std::printf(
        "start-up to first paint (median of %d): console %.1f ms, bare QMainWindow %.1f ms, ratio %.2f;"
        " bare window with one label %.1f ms, ratio %.2f\n",
        runs, c, b, c / b, l, c / l);
    std::printf("  of which from main() to the first paint: console %.1f ms, bare %.1f ms, one label %.1f ms"
                " (the rest is starting the process and loading the program and Qt)\n",
                Median(inMain[0]), Median(inMain[1]), Median(inMain[2]));
}

// A console window connected to an in-process simulator without dialogs.
struct TConnectedConsole {
    QTemporaryDir Dir;
    bool FolderSet = (TIniFile::SetSettingsFolder(Dir.path()), true);
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TMainWin> Win;

    bool Start() {
        zelsim::TSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.Gripper.StartReferenced = true;
        Sim = std::make_unique<zelsim::TSimThread>(cfg);
        std::string error;
        if (!Sim->Start(&error))
            return false;
        Win = std::make_unique<TMainWin>();
        Win->show();
        TIniFile ini(Dir.filePath(QStringLiteral("link.ini")));
        ini.WriteString(QStringLiteral("link"), QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        ini.WriteInteger(QStringLiteral("link"), QStringLiteral("port"), Sim->TcpPort());
        if (Win->Zel()->ConnectFromSettings(1, ini, QStringLiteral("link")) != E_SUCCESS)
            return false;
        const QAction* disconnect = Win->findChild<QAction*>(QStringLiteral("miDisconnect"));
        for (int i = 0; i < 100 && !disconnect->isEnabled(); ++i)
            RunFor(50);
        return disconnect->isEnabled();
    }
    // An event loop that sleeps between events, as the program's own does.
    static void RunFor(int Ms) {
        QEventLoop loop;
        QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    ~TConnectedConsole() {
        Win.reset();
        Sim.reset();
        TIniFile::SetSettingsFolder(QString());
    }
};

void Live() {
    TConnectedConsole c;
    if (!c.Start()) {
        std::printf("live: cannot connect to the simulator\n");
        return;
    }
    TZEL& z = *c.Win->Zel();
    QTcpSocket* socket = c.Win->Zel()->Command()->findChild<QTcpSocket*>();
    QElapsedTimer clock;
    clock.start();
    // Staleness of the label when it paints: from the arrival of the first report whose value it
    // did not show yet to the paint that shows it.
    qint64 lastArrival = -1;
    qint64 pendingSince = -1;
    QLabel* position = c.Win->findChild<QLabel*>(QStringLiteral("lbPosition"));
    QString painted = position->text(); // what the label shows before the first paint seen
    if (socket)
        QObject::connect(socket, &QTcpSocket::readyRead, [&] { lastArrival = clock.nsecsElapsed(); });
    std::vector<double> lags;
    long updates = 0;
    long paints = 0;
    int storeHigh = 0;
    // Heard after the window's own listener, which paints.
    z.OnPositionChange.Add(&updates, [&](TKORADevice*) {
        ++updates;
        storeHigh = std::max(storeHigh, z.Command()->PacketCount());
        const QString shown = QString::number(z.Position, 'f', 2) + QStringLiteral(" mm");
        if (pendingSince < 0 && shown != painted && lastArrival >= 0)
            pendingSince = lastArrival;
    });
    TPaintProbe probe(position, [&] {
        ++paints;
        painted = position->text();
        if (pendingSince >= 0)
            lags.push_back((clock.nsecsElapsed() - pendingSince) / 1e3);
        pendingSince = -1;
    });

    // Every report, every millisecond, while the fingers move back and forth.
    z.AutoUpdateSystemState(true, 1, false);
    z.AutoUpdateGraspingState(true, 1, false);
    z.AutoUpdatePosition(true, 1, false);
    z.AutoUpdateForce(true, 1, false);
    c.RunFor(300);
    updates = 0;
    paints = 0;
    lags.clear();
    pendingSince = -1;
    const int seconds = 5;
    const double cpu0 = CpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    bool out = true;
    while (wall.elapsed() < seconds * 1000) {
        try {
            if (!(z.SystemState & 0x2))
                z.Move(out ? 100 : 10, 200);
        } catch (const std::exception&) {
            // still moving: the next turn tries again
        }
        out = !out;
        c.RunFor(250);
    }
    const double cpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    std::sort(lags.begin(), lags.end());
    const auto pct = [&](double P) { return lags.empty() ? 0 : lags[size_t(P * (lags.size() - 1))]; };
    std::printf(
        "live updates at 1 ms: %.0f position reports/s, %.0f label paints/s, UI thread %.1f %% of a core, "
        "receive store high-water mark %d packets\n",
        updates / elapsed, paints / elapsed, 100 * cpu / elapsed, storeHigh);
    std::printf(
        "report arrival to the label painting it: median %.1f ms, 99th percentile %.1f ms, max %.1f ms\n",
        pct(0.5) / 1e3, pct(0.99) / 1e3, lags.empty() ? 0 : lags.back() / 1e3);
    z.OnPositionChange.Remove(&updates);
}

void Memory() {
    TConnectedConsole c;
    if (!c.Start()) {
        std::printf("memory: cannot connect to the simulator\n");
        return;
    }
    c.RunFor(300);
    std::printf("resident after connect: %ld KiB\n", ResidentKiB());
    TZEL& z = *c.Win->Zel();
    TByteArray data;
    TStat status = E_SUCCESS;
    const TByteArray payload(16, 0x5A);
    QElapsedTimer t;
    t.start();
    for (int i = 1; i <= 100000; ++i) {
        if (!z.ExecuteCommand(LOOP, payload, data, status)) {
            std::printf("memory: exchange %d refused\n", i);
            return;
        }
        if (i % 25000 == 0)
            std::printf("resident after %6d exchanges: %ld KiB (%.1f s)\n", i, ResidentKiB(),
                        t.elapsed() / 1e3);
    }
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--child-console" || mode == "--child-bare" || mode == "--child-label")
        return StartupChild(argc, argv, mode == "--child-console", mode == "--child-label");
    TConsoleApplication app(argc, argv);
    InitConsoleApplication(app);
    if (mode.empty() || mode == "startup")
        Startup(QCoreApplication::applicationFilePath());
    if (mode.empty() || mode == "live")
        Live();
    if (mode.empty() || mode == "memory")
        Memory();
    return 0;
}
