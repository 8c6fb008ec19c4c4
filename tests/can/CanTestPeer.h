#pragma once
// Test helpers for the CAN tests: a node of our own on the virtual CAN bus (in the UI thread,
// beside the layer under test) and a fast bounded event spin for hand-over-heavy tests.
#include <QByteArray>
#include <QCanBusFrame>
#include <QList>

#include <functional>
#include <memory>

class QCanBusDevice;

// Serves events until Condition holds; false after TimeoutMs.
bool SpinUntil(const std::function<bool()>& Condition, int TimeoutMs = 5000);

class TVirtualCanPeer {
public:
    explicit TVirtualCanPeer(int Channel = 0, bool CanFd = false);
    ~TVirtualCanPeer();

    bool Connected() const;
    bool Send(const QCanBusFrame& Frame);
    bool Send(quint32 Id, const QByteArray& Payload);
    // Frames seen on the bus from other nodes, in order.
    const QList<QCanBusFrame>& Frames() const { return FFrames; }
    bool WaitForFrames(int Count, int TimeoutMs = 5000);
    void Clear() { FFrames.clear(); }

private:
    std::unique_ptr<QCanBusDevice> FDevice;
    QList<QCanBusFrame> FFrames;
};
