#pragma once
// TCP transport: the console is the client of one connection to the device. Open only starts
// the connection; OnConnected follows once it is established.
#include "transports/DeviceComponent.h"

#include <QAbstractSocket>

#include <memory>
#include <string>

class QTcpSocket;

struct TTcpSettings {
    QString Host;
    int Port = 1000;
    bool operator==(const TTcpSettings&) const = default;
};

class TTCPDevice : public TDevice {
    Q_OBJECT
public:
    explicit TTCPDevice(QObject* Owner);
    ~TTCPDevice() override;

    void WriteSettings(TIniFile& File, const QString& Section) override;
    TStat OpenFromSettings(TIniFile& File, const QString& Section) override;
    bool IsOpen() override;
    TStat Open(const QString& PortName) override;
    TStat Close() override;
    int32_t BytesAvailable() override;
    int32_t Read(uint8_t* Buffer, int32_t MaxCount) override;
    TStat Write(const uint8_t* Buffer, int32_t Count) override;
    bool HasPortList() override { return true; }
    void GetPortList(QStringList& List) override;
    QString LinkDescription() const override;

    using TQuestion = TOperatorQuestion<TTCPDevice, TTcpSettings>;
    static TQuestion& AskOperator();
    // Host and port from tcp.cfg (empty host, port 1000 when absent).
    TTcpSettings StoredSettings() const;
    // Opens with the given settings, without asking; an empty host or a port outside 1..65535
    // gives E_INVALID_PARAMETER.
    TStat OpenWith(const TTcpSettings& Given);
    QTcpSocket* Socket() const { return FSocket; }

    // Kinds of socket failure, each reported with its own text.
    enum class TSocketErrorKind { General, Send, Receive, Connect, Disconnect, Accept, Other };
    static QString ErrorText(TSocketErrorKind Kind);

private:
    QString Address() const;
    // ErrorText of Kind followed by the address and the socket's own reason.
    std::string WithReason(TSocketErrorKind Kind) const;
    // What the transport itself is doing with the socket; a failure during Write or Read is
    // their result, one during Close is reported when the close is done.
    enum class TOperation { None, Write, Read, Close };
    class TOperationScope;

    TStat StartConnection(const QString& Host, int Port);
    void SocketError(QAbstractSocket::SocketError Error);
    void SocketDisconnected();

    QTcpSocket* FSocket = nullptr;
    QString FHost;
    int FPort = 1000;
    bool FEstablished = false; // the link came up and was not yet reported down
    TOperation FOperation = TOperation::None;
    bool FOperationFailed = false;
    uint32_t FConnection = 0; // counts connection attempts; late reports of old ones are dropped
};
