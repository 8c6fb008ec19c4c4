#pragma once
// A link to a device written as one text, the same for every program:
//   tcp://HOST[:PORT]                       port 1000
//   udp://HOST[:TXPORT][?listen=PORT]       ports 1500 and 1501
//   serial:///dev/ttyUSB0[?baud=115200]     serial://ttyUSB0 names a port by name; 9600 Bd
//   can://INTERFACE[?id=100&bitrate=4]      INTERFACE is a name (vcan0) or a net number;
//                                           backend=socketcan|virtualcan picks the CAN plugin
// IPv6 hosts go in brackets: tcp://[::1]:5000.
#include "transports/CANDevice.h"
#include "transports/SerialDevice.h"
#include "transports/TCPDevice.h"
#include "transports/UDPDevice.h"

#include <QString>

struct TLinkAddress {
    enum class TKind { Serial, Tcp, Udp, Can }; // in the engine's order of transports
    TKind Kind = TKind::Tcp;
    TSerialSettings Serial;
    TTcpSettings Tcp;
    TUdpSettings Udp;
    // Can.Interface is the interface's name; empty: Can.Net counts the interfaces in name order.
    TCanSettings Can;
    QString CanBackend; // empty: the configured one

    // The engine's index of the transport (TCommand::SerialIndex, ...).
    int32_t TransportIndex() const;
    // Where the link goes, for messages: "TCP 127.0.0.1:1000".
    QString Description() const;
    // The link as text; parsing it gives the same link.
    QString Text() const;
};

// Reads a link text. On a mistake: false, and Error says which part is wrong and what was
// expected ("Invalid link 'tcp://host:0': port '0' is outside 1 to 65535").
bool ParseLinkAddress(const QString& Text, TLinkAddress& Link, QString& Error);
