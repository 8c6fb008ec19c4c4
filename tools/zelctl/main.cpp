// zelctl: the console's device layer on the command line, for scripted test rigs.
#include "IniFile.h"
#include "QtDebugSink.h"
#include "ZelctlArguments.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    // The engine owns the parameter dialogs of the transports, so a widget application must
    // exist; zelctl never shows one and needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session (cron, ssh, CI) Qt would warn on every run about a missing runtime
    // folder; give it a private one so that standard error carries only zelctl's own messages.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(getuid());
        if (mkdir(dir.constData(), 0700) == 0 || errno == EEXIST)
            qputenv("XDG_RUNTIME_DIR", dir);
    }
    // Everything on standard error is marked as zelctl's, Qt's own warnings included.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& Text) {
        std::fprintf(stderr, "zelctl: %s\n", Text.toLocal8Bit().constData());
    });
    RouteDebugOutToQt();
    // Qt's own event dispatcher costs less per pass than the GLib one, and every exchange waits
    // in passes; an empty QT_NO_GLIB set in the environment brings GLib back.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelctl"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    TZelctlArguments args;
    QString error;
    if (!args.Parse(QApplication::arguments().mid(1), error)) {
        err << "zelctl: " << error << Qt::endl;
        return TZelctlRunner::ExitUsage;
    }
    if (args.Help) {
        out << TZelctlArguments::HelpText();
        return TZelctlRunner::ExitOk;
    }
    if (!args.SettingsFolder.isEmpty())
        TIniFile::SetSettingsFolder(args.SettingsFolder);
    TZelctlSession session(args, out, err);
    TZelctlRunner runner(session);
    return runner.Run();
}
