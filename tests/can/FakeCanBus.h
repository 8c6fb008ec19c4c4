#pragma once
// A scripted machine behind the CAN library layer: interfaces with a bit rate, an up/down state
// and a transmit queue that can be full, and bus devices of our own that the layer's worker
// thread creates and drives. The script may be changed from the test's thread at any time.
#include "transports/CanBusSeam.h"

#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QList>

#include <functional>
#include <map>
#include <mutex>
#include <vector>

class TFakeCanBus;

class TFakeCanBusDevice : public QCanBusDevice {
public:
    TFakeCanBusDevice(TFakeCanBus& Bus, QString Interface);
    ~TFakeCanBusDevice() override;

    bool writeFrame(const QCanBusFrame& Frame) override;
    QString interpretErrorFrame(const QCanBusFrame& Frame) override;
    void setConfigurationParameter(ConfigurationKey Key, const QVariant& Value) override;
    // Worker thread.
    void Deliver(const QList<QCanBusFrame>& Frames) { enqueueReceivedFrames(Frames); }

protected:
    bool open() override;
    void close() override;

private:
    TFakeCanBus& FBus;
    const QString FInterface;
};

class TFakeCanBus : public TCanBusSeam {
public:
    struct TInterface {
        bool Up = true;
        bool Virtual = false;
        int Bitrate = 250000;     // NoBitrate for a virtual one, 0 for "cannot be read"
        bool RateSettable = true; // whether the backend's configuration changes the rate
        int QueueFullWrites = 0;  // writes still refused with ENOBUFS; -1: all of them
        std::vector<int> RateRequests;
        std::vector<QCanBusFrame> Written;
    };

    // Script; any thread.
    void Add(const QString& Name);
    void Add(const QString& Name, TInterface Interface);
    void Remove(const QString& Name);
    void Change(const QString& Name, const std::function<void(TInterface&)>& Edit);
    TInterface State(const QString& Name) const;
    // Hands Frames to the open device of Name in the worker thread, as if they came off the bus.
    bool Deliver(const QString& Name, const QList<QCanBusFrame>& Frames);

    std::vector<TCanInterfaceInfo> Interfaces(const QString& Backend) override;
    QCanBusDevice* CreateDevice(const QString& Backend, const QString& Interface, QString* Error) override;
    int Bitrate(const QString& Backend, const QString& Interface) override;
    TLinkState LinkState(const QString& Backend, const QString& Interface) override;

private:
    friend class TFakeCanBusDevice;
    mutable std::mutex FLock;
    std::map<QString, TInterface> FInterfaces;
    std::map<QString, TFakeCanBusDevice*> FDevices; // worker thread only
};
