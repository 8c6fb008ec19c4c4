#include "TestWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!Condition()) {
        if (t.elapsed() >= TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void ProcessEventsFor(int Ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < Ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}
