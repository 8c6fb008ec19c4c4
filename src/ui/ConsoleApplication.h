#pragma once
// The console's application object. Its notify is the last safety net for an exception that
// escaped a handler without the guard: it goes to the application-wide handler, never through Qt.
#include <QApplication>
#include <QPixmap>

#include <functional>

class TConsoleApplication : public QApplication {
public:
    TConsoleApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}
    bool notify(QObject* Receiver, QEvent* Event) override;
};

// The program's picture (64 x 64): the window icon and the gripper picture of the main window.
QPixmap ConsolePicture();

// Gives the application its title and icon; shared by the program and its tests.
void InitConsoleApplication(QApplication& App);

// What a window program (zel-console, zel-taq) says of itself before it has a window.
struct TWindowProgram {
    const char* Name; // "zel-console"
    const char* Help; // the --help text
    QString Version;
};

// Runs a window program: --help and --version are answered without a display; without a display,
// or with one that cannot be opened, it says so and ends with status 1 (Qt itself would abort with
// 134). Otherwise it makes the application object, installs the link dialogs and message boxes
// the operator answers, and runs the window that MakeWindow builds until it is closed.
int RunWindowProgram(const TWindowProgram& Program, int Argc, char** Argv,
                     const std::function<std::unique_ptr<QWidget>(TConsoleApplication& App)>& MakeWindow);
