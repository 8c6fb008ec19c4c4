#pragma once
// What the CAN library layer asks of the machine: which interfaces a backend has, a bus device
// for one of them, the bit rate it runs at and whether it is still there. The real answers come
// from QtSerialBus and Linux (sysfs, rtnetlink); tests put a scripted bus in their place.
#include <QString>

#include <memory>
#include <vector>

class QCanBusDevice;

struct TCanInterfaceInfo {
    QString Name;
    bool Up = true;       // administratively up; a down interface carries no frames
    bool Virtual = false; // vcan, the virtual bus: no bit rate of its own
};

class TCanBusSeam {
public:
    // Bit rate of an interface that has none (virtual); 0 stands for "cannot be known".
    static constexpr int NoBitrate = -1;
    enum class TLinkState { Up, Down, Gone };

    virtual ~TCanBusSeam() = default;

    // All calls but Default() come from the layer's worker thread only.
    // The interfaces of Backend, in any order; empty when the backend does not exist.
    virtual std::vector<TCanInterfaceInfo> Interfaces(const QString& Backend);
    // A new, unconnected bus device that the caller owns; null with Error set on failure.
    virtual QCanBusDevice* CreateDevice(const QString& Backend, const QString& Interface, QString* Error);
    // The bit rate the interface runs at in bit/s, NoBitrate or 0.
    virtual int Bitrate(const QString& Backend, const QString& Interface);
    // Polled while a net is open: a vanished or downed interface is a lost link.
    virtual TLinkState LinkState(const QString& Backend, const QString& Interface);

    static std::shared_ptr<TCanBusSeam> Default();
};

// The bit rate of a SocketCAN interface as the kernel reports it (rtnetlink): the rate in bit/s
// for a CAN controller, NoBitrate for an interface of another kind, 0 when it cannot be read.
int SocketCanBitrate(const QString& Interface);
// The same from the kernel's answer to RTM_GETLINK (one or more netlink messages).
int SocketCanBitrateFromReply(const void* Reply, size_t Size);
