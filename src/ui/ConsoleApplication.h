#pragma once
// The console's application object. Its notify is the last safety net for an exception that
// escaped a handler without the guard: it goes to the application-wide handler, never through Qt.
#include <QApplication>
#include <QPixmap>

#include <condition_variable>
#include <mutex>
#include <thread>

// Reads the system's font configuration on a second thread while the display connection is made
// (the largest single cost of the first window that shows text): first the configuration files,
// then, once the application object exists, Qt's font list. The window waits for it before it
// measures its first text.
class TFontWarmUp {
protected:
    TFontWarmUp();
    ~TFontWarmUp();
    void ApplicationReady();
    void Wait();

private:
    enum class TStep { WaitForApplication, Go, Abandon };
    void Run();
    void Tell(TStep Step);

    std::mutex FMutex;
    std::condition_variable FChanged;
    TStep FStep = TStep::WaitForApplication;
    std::thread FThread;
};

// TFontWarmUp is the first base: its thread starts before QApplication's constructor runs.
class TConsoleApplication : private TFontWarmUp, public QApplication {
public:
    TConsoleApplication(int& Argc, char** Argv);
    ~TConsoleApplication() override;
    bool notify(QObject* Receiver, QEvent* Event) override;

    // Returns once the font warm-up of the running console application (if any) has finished.
    static void WaitForFonts();
};

// The program's picture (64 x 64): the window icon and the gripper picture of the main window.
QPixmap ConsolePicture();

// Gives the application its style, title and icon; shared by the program and its tests.
void InitConsoleApplication(QApplication& App);
