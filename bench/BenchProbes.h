#pragma once
// What the window benchmarks measure with: processor time, resident size and paints.
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <utility>

// Processor time (user and system) in seconds of the process (RUSAGE_SELF) or the calling
// thread (RUSAGE_THREAD).
inline double CpuSeconds(int Who) {
    rusage u{};
    getrusage(Who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline long ResidentKiB() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Calls Fn whenever Widget paints.
class TPaintProbe : public QObject {
public:
    TPaintProbe(QWidget* Widget, std::function<void()> Fn) : FFn(std::move(Fn)) { Widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* E) override {
        if (E->type() == QEvent::Paint)
            FFn();
        return false;
    }

private:
    std::function<void()> FFn;
};
