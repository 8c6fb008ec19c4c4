#include "ConsoleApplication.h"

#include "ErrorGuard.h"
#include "ZELMainWin.h"

#include <QIcon>

TConsoleApplication::TConsoleApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}

bool TConsoleApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void InitConsoleApplication(QApplication& App) {
    Q_INIT_RESOURCE(console);
    App.setApplicationName(TMainWin::Caption);
    App.setWindowIcon(QIcon(QStringLiteral(":/zel-console.png")));
}
