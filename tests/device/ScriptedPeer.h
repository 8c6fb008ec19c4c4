#pragma once
// A device stand-in on a loopback TCP port, on the test's own thread: records every packet the
// console sends and answers through a script. The console's synchronous wait runs the event
// loop, so the peer answers while the console waits.
#include "protocol/PacketBufferClass.h"
#include "protocol/PacketReceiver.h"
#include "protocol/Types.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <vector>

class TScriptedPeer : public QObject {
    Q_OBJECT
public:
    using TResponder = std::function<void(TScriptedPeer& Peer, const TPacket& Request)>;

    TScriptedPeer();
    ~TScriptedPeer() override;

    quint16 Port() const { return FServer.serverPort(); }
    bool HasClient() const { return FClient != nullptr; }
    void DropClient();

    // Runs for every packet received. The default answers GET_SYSINFO with SysInfoData and every
    // other command with a bare E_SUCCESS.
    TResponder Responder;
    TByteArray SysInfoData;

    std::vector<TPacket> Received;
    int CountOf(int32_t CommandID) const;
    const TPacket* Last(int32_t CommandID) const;

    void Send(int32_t CommandID, const TByteArray& Payload);
    // Status (16-bit, little-endian) followed by Data.
    void SendStatus(int32_t CommandID, uint16_t Status, const TByteArray& Data = {});
    void SendRaw(const TByteArray& Bytes);
    // Several frames in one write, so they arrive together.
    void SendTogether(const std::vector<TPacket>& Packets);

    static TByteArray SysInfo(uint8_t Type, uint8_t Hardware = 1, uint16_t Firmware = 0x2140,
                              uint32_t Serial = 1234);
    // The default answer for one request (used by custom responders for the rest).
    void AnswerDefault(const TPacket& Request);

private:
    void OnNewConnection();
    void OnReadyRead();

    QTcpServer FServer;
    QPointer<QTcpSocket> FClient;
    TPacketBuffer FStore{4096};
    TPacketReceiver FReceiver;
};

TPacket MakeTestPacket(int32_t CommandID, const TByteArray& Payload);
