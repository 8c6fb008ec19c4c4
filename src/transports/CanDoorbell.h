#pragma once
// Wakes the event loop of the thread that created it, from any thread. It carries no data: the
// waker leaves its request behind a std::mutex first, so the hand-over stays visible to the
// thread sanitizer (Qt's own cross-thread events synchronise through primitives it cannot see).
#include <QObject>

#include <functional>

class QSocketNotifier;

class TCanDoorbell : public QObject {
public:
    // OnRing runs in the creating thread, once per burst of rings; it must not throw.
    explicit TCanDoorbell(std::function<void()> OnRing, QObject* Parent = nullptr);
    ~TCanDoorbell() override;

    void Ring();

private:
    int FFd = -1;
    QSocketNotifier* FNotifier = nullptr;
    std::function<void()> FOnRing;
};
