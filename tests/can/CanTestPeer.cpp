#include "CanTestPeer.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariant>

bool SpinUntil(const std::function<bool()>& Condition, int TimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // bounds each wait for events
    tick.start(5);
    while (!Condition()) {
        if (clock.elapsed() >= TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

TVirtualCanPeer::TVirtualCanPeer(int Channel, bool CanFd) {
    FDevice.reset(QCanBus::instance()->createDevice(QStringLiteral("virtualcan"),
                                                    QStringLiteral("can%1").arg(Channel)));
    if (!FDevice)
        return;
    FDevice->setConfigurationParameter(QCanBusDevice::CanFdKey, QVariant(CanFd));
    QObject::connect(FDevice.get(), &QCanBusDevice::framesReceived, FDevice.get(), [this] {
        const auto frames = FDevice->readAllFrames();
        FFrames.append(frames);
    });
    FDevice->connectDevice();
    SpinUntil([this] { return Connected(); }, 3000);
}

TVirtualCanPeer::~TVirtualCanPeer() {
    if (FDevice)
        FDevice->disconnectDevice();
}

bool TVirtualCanPeer::Connected() const {
    return FDevice && FDevice->state() == QCanBusDevice::ConnectedState;
}

bool TVirtualCanPeer::Send(const QCanBusFrame& Frame) {
    return Connected() && FDevice->writeFrame(Frame);
}

bool TVirtualCanPeer::Send(quint32 Id, const QByteArray& Payload) {
    return Send(QCanBusFrame(Id, Payload));
}

bool TVirtualCanPeer::WaitForFrames(int Count, int TimeoutMs) {
    return SpinUntil([&] { return FFrames.size() >= Count; }, TimeoutMs);
}
