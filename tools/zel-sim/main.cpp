// zel-sim: runs a simulated device until SIGINT or SIGTERM.
#include "Options.h"
#include "ZelVersion.h"
#include "Simulator.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int SignalPipe[2] = {-1, -1};

void OnSignal(int Signal) {
    const char c = char(Signal);
    // Only async-signal-safe work here; the event loop picks the signal up from the pipe.
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    zelsim::TOptions options = zelsim::ParseOptions(args);
    if (!options.Ok) {
        std::cerr << "zel-sim: " << options.Message << "\n(see zel-sim --help)\n";
        return 2;
    }
    if (options.Help) {
        std::cout << zelsim::UsageText();
        return 0;
    }
    if (options.Version) {
        std::cout << "zel-sim " << ZEL_VERSION << "\n";
        return 0;
    }

    // Qt's own event dispatcher costs less per pass than the GLib one, and every answer takes
    // a pass; an empty QT_NO_GLIB set in the environment brings GLib back.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    // The virtual CAN plugin chats about its bus server; only show that when asked to be verbose.
    if (!options.Config.Verbose)
        QLoggingCategory::setFilterRules(
            "qt.canbus.plugins.virtualcan.debug=false\nqt.canbus.plugins.virtualcan.info=false");
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) {
        std::perror("zel-sim: socketpair");
        return 1;
    }
    zelsim::TSimulator sim(options.Config);
    if (options.Config.Verbose)
        sim.SetLogSink([](const std::string& line) { std::cerr << line << std::endl; });

    QSocketNotifier notifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c = 0;
        if (::read(SignalPipe[0], &c, 1) != 1)
            return;
        if (c == SIGUSR1) {
            const bool lost = sim.LosePart();
            std::cerr << (lost ? "part lost\n" : "no part held\n") << std::flush;
            return;
        }
        app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGUSR1, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    if (!sim.Start(&error)) {
        std::cerr << "zel-sim: " << error << "\n";
        return 1;
    }
    std::cout << sim.Endpoints() << "ready" << std::endl;

    const int rc = app.exec();
    sim.Stop();
    return rc;
}
