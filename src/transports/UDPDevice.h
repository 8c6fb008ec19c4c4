#pragma once
// UDP transport: every packet goes out as one datagram to the device's address and transmit
// port; datagrams arriving on the listening port are queued as one byte stream.
#include "protocol/ByteQueue.h"
#include "transports/DeviceComponent.h"

#include <QByteArray>
#include <QHostAddress>

#include <deque>

#include <memory>

class QUdpSocket;

struct TUdpSettings {
    QString Address;
    int ListeningPort = 1501;
    int TransmitPort = 1500;
    bool operator==(const TUdpSettings&) const = default;
};

class TUDPDevice : public TDevice {
    Q_OBJECT
public:
    static constexpr int32_t MaxDatagram = 4096;
    // A host name that is not resolved within this time fails the write.
    static constexpr uint32_t LookupLimitMs = 5000;

    explicit TUDPDevice(QObject* Owner);
    ~TUDPDevice() override;

    void WriteSettings(TIniFile& File, const QString& Section) override;
    TStat OpenFromSettings(TIniFile& File, const QString& Section) override;
    bool IsOpen() override { return FEndpoint != nullptr; }
    TStat Open(const QString& PortName) override;
    TStat Close() override;
    int32_t BytesAvailable() override { return IsOpen() ? FRxQueue.Count() : 0; }
    int32_t Read(uint8_t* Buffer, int32_t MaxCount) override;
    TStat Write(const uint8_t* Buffer, int32_t Count) override;
    bool HasPortList() override { return true; }
    void GetPortList(QStringList& List) override;
    QString LinkDescription() const override;

    using TQuestion = TOperatorQuestion<TUDPDevice, TUdpSettings>;
    static TQuestion& AskOperator();
    // Address and ports from udp.cfg (empty address, 1501 and 1500 when absent).
    TUdpSettings StoredSettings() const;
    // Opens with the given settings, without asking; an empty address or a port outside
    // 1..65535 gives E_INVALID_PARAMETER.
    TStat OpenWith(const TUdpSettings& Given);
    // The local port the endpoint is bound to; 0 when closed.
    quint16 LocalPort() const;

protected:
    bool ConnectPollReady() override { return true; }

private:
    TStat OpenEndpoint(const QString& Address, int ListeningPort, int TransmitPort);
    void DatagramsPending();
    void ScheduleDelivery();
    void DeliverStaged();
    void DropStaged();
    // The remote address for one datagram; a host name is looked up anew while events run.
    // Reason, when given, receives why it failed.
    bool ResolveRemote(QHostAddress& Address, QString* Reason = nullptr);
    bool LookUp(const QString& Name, QHostAddress& Address, QString* Reason = nullptr);

    TByteQueue FRxQueue{MaxDatagram};
    QUdpSocket* FEndpoint = nullptr;
    QString FRemoteHost;
    int FRemotePort = 0;
    int FLocalPort = 0;
    // Datagrams taken off the socket, not yet handed on; bounded for a reader that stalled.
    static constexpr qsizetype MaxStagedBytes = 1 << 20;
    std::deque<QByteArray> FStaged;
    qsizetype FStagedBytes = 0;
    bool FDeliveryPending = false;
    uint32_t FEndpointCount = 0; // deliveries queued for an endpoint since closed are dropped
};
