// zelctl: the console's device layer on the command line, for scripted test rigs.
#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "platform/QtDebugSink.h"
#include "ZelctlArguments.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"
#include "ZelVersion.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Ctrl+C and SIGTERM reach the event loop through a pipe; the run then ends in order and writes
// its report. A second signal ends the process at once.
int SignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t SignalSeen = 0;

extern "C" void OnStopSignal(int Signal) {
    if (SignalSeen != 0)
        _exit(128 + Signal);
    SignalSeen = Signal;
    const char b = char(Signal);
    [[maybe_unused]] const ssize_t n = ::write(SignalPipe[1], &b, 1);
}

void CatchStopSignals() {
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
} // namespace

int main(int argc, char** argv) {
    // Everything on standard error is marked as zelctl's, Qt's own warnings included.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& Text) {
        std::fprintf(stderr, "zelctl: %s\n", Text.toLocal8Bit().constData());
    });
    RouteDebugOutToQt();
    // Qt's own event dispatcher costs less per pass than the GLib one, and every exchange waits
    // in passes; an empty QT_NO_GLIB set in the environment brings GLib back.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelctl"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    TZelctlArguments args;
    QString error;
    const QStringList words = QCoreApplication::arguments().mid(1);
    if (!args.Parse(words, error))
        return TZelctlRunner::ReportUsage(words, args, error, out, err);
    if (args.Help) {
        out << TZelctlArguments::HelpText();
        return TZelctlRunner::ExitOk;
    }
    if (args.Version) {
        out << "zelctl " << ZEL_VERSION << Qt::endl;
        return TZelctlRunner::ExitOk;
    }
    if (!args.SettingsFolder.isEmpty())
        TIniFile::SetSettingsFolder(args.SettingsFolder);
    // A file size limit (ulimit -f) makes a write fail with its reason instead of killing zelctl.
    std::signal(SIGXFSZ, SIG_IGN);
    TZelctlSession session(args, out, err);
    CatchStopSignals();
    std::unique_ptr<QSocketNotifier> stops;
    if (SignalPipe[0] >= 0) {
        stops = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
        QObject::connect(stops.get(), &QSocketNotifier::activated, [&session] {
            RunGuarded([&session] {
                char b = 0;
                if (::read(SignalPipe[0], &b, 1) == 1)
                    session.Interrupt(int(b));
            });
        });
    }
    TZelctlRunner runner(session);
    return runner.Run();
}
