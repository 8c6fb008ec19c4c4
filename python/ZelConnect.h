#pragma once
// Opening a device's link from a URL without any dialog:
//   tcp://HOST[:PORT]                 (port 1000)
//   udp://HOST[:PORT][?listen=PORT]   (ports 1500 and 1501)
//   serial://PATH[?baud=N]            (serial:///dev/ttyUSB0?baud=115200; 9600 Bd)
//   can://IFACE|NET[?id=N&bitrate=CODE&backend=NAME]  (id 100, bit rate code 4, socketcan)
// The link goes to the transport as a settings section, the way zelctl opens its links.
#include <QList>
#include <QPair>
#include <QString>

#include <string>

class TKORADevice;

namespace zelpy {

struct TLink {
    int Transport = -1; // the engine's index: 0 serial, 1 TCP, 2 UDP, 3 CAN
    QList<QPair<QString, QString>> Keys;
    std::string Description; // "TCP 127.0.0.1:1000"
};

// TError(ConnectFailed) for a URL that names no link.
TLink ParseLink(const std::string& Url);

// Opens the link and runs the device's connect sequence until the device is accepted. Called
// without the interpreter lock. TError(ConnectFailed) when it is not within TimeoutSeconds.
void ConnectDevice(TKORADevice& Device, const TLink& Link, double TimeoutSeconds);

} // namespace zelpy
