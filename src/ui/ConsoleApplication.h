#pragma once
// The console's application object. Its notify is the last safety net for an exception that
// escaped a handler without the guard: it goes to the application-wide handler, never through Qt.
#include <QApplication>
#include <QPixmap>

class TConsoleApplication : public QApplication {
public:
    TConsoleApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}
    bool notify(QObject* Receiver, QEvent* Event) override;
};

// The program's picture (64 x 64): the window icon and the gripper picture of the main window.
QPixmap ConsolePicture();

// Gives the application its title and icon; shared by the program and its tests.
void InitConsoleApplication(QApplication& App);
