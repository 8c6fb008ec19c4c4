#pragma once
// UDP transport: every packet goes out as one datagram to the device's address and transmit
// port; datagrams arriving on the listening port are queued as one byte stream.
#include "ByteQueue.h"
#include "DeviceComponent.h"

#include <QHostAddress>

#include <memory>

class QUdpSocket;
class TUDPSettingsDlg;

class TUDPDevice : public TDevice {
    Q_OBJECT
public:
    static constexpr int32_t MaxDatagram = 4096;

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

    TUDPSettingsDlg* Dialog() const { return FDialog.get(); }
    // The local port the endpoint is bound to; 0 when closed.
    quint16 LocalPort() const;

protected:
    bool ConnectPollReady() override { return true; }

private:
    TStat OpenEndpoint(const QString& Address, int ListeningPort, int TransmitPort);
    void DatagramsPending();
    bool ResolveRemote(QHostAddress& Address);

    std::unique_ptr<TUDPSettingsDlg> FDialog;
    TByteQueue FRxQueue{MaxDatagram};
    QUdpSocket* FEndpoint = nullptr;
    QString FRemoteHost;
    int FRemotePort = 0;
    int FLocalPort = 0;
    QHostAddress FResolved;      // lookup of FRemoteHost, kept until the next Open
    uint32_t FEndpointCount = 0; // announcements for an endpoint since closed are dropped
};
