// zelctl: the console's device layer on the command line, for scripted test rigs.
#include "IniFile.h"
#include "QtDebugSink.h"
#include "ZelctlArguments.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"
#include "ZelVersion.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

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
    TZelctlSession session(args, out, err);
    TZelctlRunner runner(session);
    return runner.Run();
}
