#include "transports/CanBusSeam.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QFile>

#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

namespace {
const QString SocketCan = QStringLiteral("socketcan");

// The interface flags from sysfs; -1 when the interface does not exist.
int InterfaceFlags(const QString& Interface) {
    QFile f(QStringLiteral("/sys/class/net/%1/flags").arg(Interface));
    if (Interface.contains(u'/') || !f.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int flags = QString::fromLatin1(f.readAll()).trimmed().toInt(&ok, 16);
    return ok ? flags : -1;
}

class TNetlinkSocket {
public:
    TNetlinkSocket() : Fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
        if (Fd >= 0) {
            timeval tv{0, 500000}; // the kernel answers at once; this only bounds a broken stack
            setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        }
    }
    ~TNetlinkSocket() {
        if (Fd >= 0)
            close(Fd);
    }
    TNetlinkSocket(const TNetlinkSocket&) = delete;
    TNetlinkSocket& operator=(const TNetlinkSocket&) = delete;
    const int Fd;
};

// Walks the attributes of IFLA_LINKINFO: the link kind and, for a CAN controller, its bit timing.
int BitrateFromLinkInfo(const rtattr* Info) {
    int len = int(RTA_PAYLOAD(Info));
    QByteArray kind;
    int bitrate = 0;
    for (auto* a = static_cast<const rtattr*>(RTA_DATA(Info)); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
        if (a->rta_type == IFLA_INFO_KIND) {
            kind = QByteArray(static_cast<const char*>(RTA_DATA(a)), int(RTA_PAYLOAD(a)));
            kind.truncate(int(qstrnlen(kind.constData(), uint(kind.size()))));
        } else if (a->rta_type == IFLA_INFO_DATA) {
            int dataLen = int(RTA_PAYLOAD(a));
            for (auto* d = static_cast<const rtattr*>(RTA_DATA(a)); RTA_OK(d, dataLen);
                 d = RTA_NEXT(d, dataLen)) {
                if (d->rta_type == IFLA_CAN_BITTIMING && RTA_PAYLOAD(d) >= sizeof(can_bittiming)) {
                    can_bittiming bt;
                    std::memcpy(&bt, RTA_DATA(d), sizeof bt);
                    bitrate = int(bt.bitrate);
                }
            }
        }
    }
    if (kind == "vcan" || kind == "vxcan")
        return TCanBusSeam::NoBitrate;
    return kind == "can" ? bitrate : 0;
}
} // namespace

int SocketCanBitrate(const QString& Interface) {
    const unsigned index = if_nametoindex(Interface.toLocal8Bit().constData());
    if (index == 0)
        return 0;
    TNetlinkSocket nl;
    if (nl.Fd < 0)
        return 0;
    struct {
        nlmsghdr Header;
        ifinfomsg Info;
    } request{};
    request.Header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.Header.nlmsg_type = RTM_GETLINK;
    request.Header.nlmsg_flags = NLM_F_REQUEST;
    request.Header.nlmsg_seq = 1;
    request.Info.ifi_family = AF_UNSPEC;
    request.Info.ifi_index = int(index);
    if (send(nl.Fd, &request, request.Header.nlmsg_len, 0) < 0)
        return 0;
    alignas(nlmsghdr) char buffer[32768];
    const ssize_t got = recv(nl.Fd, buffer, sizeof buffer, 0);
    return got > 0 ? SocketCanBitrateFromReply(buffer, size_t(got)) : 0;
}

int SocketCanBitrateFromReply(const void* Reply, size_t Size) {
    int len = int(Size);
    for (auto* h = static_cast<const nlmsghdr*>(Reply); NLMSG_OK(h, len); h = NLMSG_NEXT(h, len)) {
        if (h->nlmsg_type != RTM_NEWLINK || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            continue;
        auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
        int attrLen = int(h->nlmsg_len) - int(NLMSG_LENGTH(sizeof(ifinfomsg)));
        for (auto* a = IFLA_RTA(info); RTA_OK(a, attrLen); a = RTA_NEXT(a, attrLen))
            if (a->rta_type == IFLA_LINKINFO)
                return BitrateFromLinkInfo(a);
        return 0;
    }
    return 0;
}

std::vector<TCanInterfaceInfo> TCanBusSeam::Interfaces(const QString& Backend) {
    std::vector<TCanInterfaceInfo> list;
    QCanBus* bus = QCanBus::instance();
    if (!bus->plugins().contains(Backend))
        return list;
    QString error;
    const auto devices = bus->availableDevices(Backend, &error);
    for (const QCanBusDeviceInfo& d : devices) {
        TCanInterfaceInfo info;
        info.Name = d.name();
        info.Virtual = d.isVirtual();
        if (Backend == SocketCan) {
            const int flags = InterfaceFlags(d.name());
            info.Up = flags >= 0 && (flags & IFF_UP);
        }
        list.push_back(info);
    }
    return list;
}

QCanBusDevice* TCanBusSeam::CreateDevice(const QString& Backend, const QString& Interface, QString* Error) {
    return QCanBus::instance()->createDevice(Backend, Interface, Error);
}

int TCanBusSeam::Bitrate(const QString& Backend, const QString& Interface) {
    if (Backend != SocketCan)
        return NoBitrate; // the virtual bus and the other plugins keep their rate to themselves
    return SocketCanBitrate(Interface);
}

TCanBusSeam::TLinkState TCanBusSeam::LinkState(const QString& Backend, const QString& Interface) {
    if (Backend != SocketCan)
        return TLinkState::Up; // their devices report a lost link themselves
    const int flags = InterfaceFlags(Interface);
    if (flags < 0)
        return TLinkState::Gone;
    return (flags & IFF_UP) ? TLinkState::Up : TLinkState::Down;
}

std::shared_ptr<TCanBusSeam> TCanBusSeam::Default() {
    static const auto seam = std::make_shared<TCanBusSeam>();
    return seam;
}
