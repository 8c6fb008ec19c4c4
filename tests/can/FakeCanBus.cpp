#include "FakeCanBus.h"

#include "transports/CanLib.h"

#include <QVariant>

#include <algorithm>
#include <cerrno>

TFakeCanBusDevice::TFakeCanBusDevice(TFakeCanBus& Bus, QString Interface)
    : FBus(Bus), FInterface(std::move(Interface)) {
    FBus.FDevices[FInterface] = this;
}

TFakeCanBusDevice::~TFakeCanBusDevice() {
    auto it = FBus.FDevices.find(FInterface);
    if (it != FBus.FDevices.end() && it->second == this)
        FBus.FDevices.erase(it);
}

bool TFakeCanBusDevice::open() {
    setState(ConnectedState);
    return true;
}

void TFakeCanBusDevice::close() {
    setState(UnconnectedState);
}

bool TFakeCanBusDevice::writeFrame(const QCanBusFrame& Frame) {
    bool full = false;
    {
        std::lock_guard<std::mutex> l(FBus.FLock);
        auto it = FBus.FInterfaces.find(FInterface);
        if (it == FBus.FInterfaces.end())
            return false; // unplugged
        auto& i = it->second;
        full = i.QueueFullWrites != 0;
        if (i.QueueFullWrites > 0)
            --i.QueueFullWrites;
        if (!full)
            i.Written.push_back(Frame);
    }
    if (full) // as Qt's SocketCAN device reports a write that the kernel refused with ENOBUFS
        setError(qt_error_string(ENOBUFS), WriteError);
    return !full;
}

QString TFakeCanBusDevice::interpretErrorFrame(const QCanBusFrame& Frame) {
    return Frame.error() & QCanBusFrame::BusOffError ? QStringLiteral("Bus off")
                                                     : QStringLiteral("Controller problem");
}

void TFakeCanBusDevice::setConfigurationParameter(ConfigurationKey Key, const QVariant& Value) {
    if (Key == BitRateKey) {
        bool applied = false;
        {
            std::lock_guard<std::mutex> l(FBus.FLock);
            auto& i = FBus.FInterfaces[FInterface];
            i.RateRequests.push_back(Value.toInt());
            applied = i.RateSettable;
            if (applied)
                i.Bitrate = Value.toInt();
        }
        if (!applied) {
            setError(QStringLiteral("Cannot set the bit rate"), ConfigurationError);
            return;
        }
    }
    QCanBusDevice::setConfigurationParameter(Key, Value);
}

void TFakeCanBus::Add(const QString& Name) {
    Add(Name, TInterface());
}

void TFakeCanBus::Add(const QString& Name, TInterface Interface) {
    std::lock_guard<std::mutex> l(FLock);
    FInterfaces[Name] = std::move(Interface);
}

void TFakeCanBus::Remove(const QString& Name) {
    std::lock_guard<std::mutex> l(FLock);
    FInterfaces.erase(Name);
}

void TFakeCanBus::Change(const QString& Name, const std::function<void(TInterface&)>& Edit) {
    std::lock_guard<std::mutex> l(FLock);
    Edit(FInterfaces[Name]);
}

TFakeCanBus::TInterface TFakeCanBus::State(const QString& Name) const {
    std::lock_guard<std::mutex> l(FLock);
    auto it = FInterfaces.find(Name);
    return it == FInterfaces.end() ? TInterface{} : it->second;
}

bool TFakeCanBus::Deliver(const QString& Name, const QList<QCanBusFrame>& Frames) {
    bool delivered = false;
    const bool ran = CanRunInWorker([&] {
        auto it = FDevices.find(Name);
        if (it == FDevices.end())
            return;
        it->second->Deliver(Frames);
        delivered = true;
    });
    return ran && delivered;
}

std::vector<TCanInterfaceInfo> TFakeCanBus::Interfaces(const QString&) {
    std::lock_guard<std::mutex> l(FLock);
    std::vector<TCanInterfaceInfo> list;
    for (const auto& [name, i] : FInterfaces)
        list.push_back({name, i.Up, i.Virtual});
    // Not in name order: the layer sorts.
    std::reverse(list.begin(), list.end());
    return list;
}

QCanBusDevice* TFakeCanBus::CreateDevice(const QString&, const QString& Interface, QString* Error) {
    {
        std::lock_guard<std::mutex> l(FLock);
        if (!FInterfaces.count(Interface)) {
            if (Error)
                *Error = QStringLiteral("no such interface");
            return nullptr;
        }
    }
    return new TFakeCanBusDevice(*this, Interface);
}

int TFakeCanBus::Bitrate(const QString&, const QString& Interface) {
    std::lock_guard<std::mutex> l(FLock);
    auto it = FInterfaces.find(Interface);
    if (it == FInterfaces.end())
        return 0;
    return it->second.Virtual ? NoBitrate : it->second.Bitrate;
}

TCanBusSeam::TLinkState TFakeCanBus::LinkState(const QString&, const QString& Interface) {
    std::lock_guard<std::mutex> l(FLock);
    auto it = FInterfaces.find(Interface);
    if (it == FInterfaces.end())
        return TLinkState::Gone;
    return it->second.Up ? TLinkState::Up : TLinkState::Down;
}
