// zelctl: the console's device layer on the command line, for scripted test rigs.
#include "IniFile.h"
#include "ZelctlArguments.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    // The engine owns the parameter dialogs of the transports, so a widget application must
    // exist; zelctl never shows one and needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
