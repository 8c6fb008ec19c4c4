#include "transports/TCPDevice.h"

#include "platform/ErrorGuard.h"

#include <QTcpSocket>

namespace {
const QString Common = QStringLiteral("common");
}

class TTCPDevice::TOperationScope {
public:
    TOperationScope(TTCPDevice& Device, TOperation Operation)
        : FDevice(Device), FOuter(Device.FOperation), FOuterFailed(Device.FOperationFailed) {
        FDevice.FOperation = Operation;
        FDevice.FOperationFailed = false;
    }
    ~TOperationScope() {
        FDevice.FOperation = FOuter;
        FDevice.FOperationFailed = FOuterFailed;
    }
    TOperationScope(const TOperationScope&) = delete;
    TOperationScope& operator=(const TOperationScope&) = delete;
    bool Failed() const { return FDevice.FOperationFailed; }

private:
    TTCPDevice& FDevice;
    TOperation FOuter;
    bool FOuterFailed;
};

TTCPDevice::TTCPDevice(QObject* Owner) : TDevice(Owner, QStringLiteral("tcp")) {
    FSocket = new QTcpSocket(this);
    FSocket->setObjectName(QStringLiteral("ClientSocket"));
    // Delivered directly, without a second pass of the event loop per arrival. channelReadyRead,
    // unlike readyRead, is signalled again while a slot of it runs, so a handler that waits in a
    // nested event loop still sees the rest of an answer.
    connect(
        FSocket, &QTcpSocket::channelReadyRead, this,
        [this](int) {
            RunGuarded([this] {
                // Also after the peer closed: what it sent before is still delivered.
                if (FSocket->bytesAvailable() > 0)
                    NotifyDataAvailable(int32_t(FSocket->bytesAvailable()));
            });
        },
        Qt::DirectConnection);
    connect(FSocket, &QTcpSocket::connected, this, [this] { FEstablished = true; });
    connect(FSocket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError E) { RunGuarded([&] { SocketError(E); }); });
    connect(FSocket, &QTcpSocket::disconnected, this,
            [this] { RunGuarded([this] { SocketDisconnected(); }); });
    InterfaceName = QStringLiteral("Ethernet/TCP");
}

TTCPDevice::TQuestion& TTCPDevice::AskOperator() {
    static TQuestion question;
    return question;
}

TTcpSettings TTCPDevice::StoredSettings() const {
    return {Settings().ReadString(Common, QStringLiteral("host"), QString()),
            Settings().ReadInteger(Common, QStringLiteral("port"), 1000)};
}

TTCPDevice::~TTCPDevice() {
    BeginDestroy();
    Close();
    FSocket->disconnect(this);
}

bool TTCPDevice::IsOpen() {
    return FSocket->state() == QAbstractSocket::ConnectedState;
}

TStat TTCPDevice::Open(const QString&) {
    TTcpSettings settings = StoredSettings();
    if (AskOperator() && !AskOperator()(*this, settings))
        return E_CMD_ABORTED;
    return StartConnection(settings.Host, settings.Port);
}

TStat TTCPDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    return OpenWith({File.ReadString(Section, QStringLiteral("host"), QString()),
                     File.ReadInteger(Section, QStringLiteral("port"), 0)});
}

TStat TTCPDevice::OpenWith(const TTcpSettings& Given) {
    if (Given.Host.isEmpty() || Given.Port <= 0 || Given.Port > 65535)
        return E_INVALID_PARAMETER;
    return StartConnection(Given.Host, Given.Port);
}

TStat TTCPDevice::StartConnection(const QString& Host, int Port) {
    // Also ends an attempt still pending, so that it cannot come up for a link we have left.
    if (FSocket->state() != QAbstractSocket::UnconnectedState)
        Close();
    FHost = Host;
    FPort = Port;
    ClearLastError();
    try {
        FEstablished = false;
        ++FConnection;
        FSocket->connectToHost(Host, quint16(Port));
        StartConnectPoll();
        Settings().WriteString(Common, QStringLiteral("host"), Host);
        Settings().WriteInteger(Common, QStringLiteral("port"), Port);
        return E_SUCCESS;
    } catch (...) {
        return E_IO_ERROR;
    }
}

TStat TTCPDevice::Close() {
    StopConnectPoll();
    // Up, or lost by the peer without the report having run yet: either way it is reported here.
    const bool established = IsOpen() || FEstablished;
    bool failed = false;
    {
        TOperationScope closing(*this, TOperation::Close);
        if (IsOpen()) {
            // Let what the device was last sent (a disconnect announcement) reach it.
            FSocket->flush();
            if (FSocket->bytesToWrite() > 0)
                FSocket->waitForBytesWritten(1000);
        }
        // Also ends a pending attempt, and drops what a peer that hung up had left unread.
        FSocket->abort();
        failed = closing.Failed() && established;
    }
    FEstablished = false;
    if (established)
        DoDisconnected();
    // Raised from here it would leave Close; the application handler hears of it instead.
    if (failed && !Destroying())
        HandleException(
            std::make_exception_ptr(ECommunicationError(WithReason(TSocketErrorKind::Disconnect))));
    return E_SUCCESS;
}

// Bytes the peer sent before it closed stay readable until the next Open or Close.
int32_t TTCPDevice::BytesAvailable() {
    return int32_t(FSocket->bytesAvailable());
}

int32_t TTCPDevice::Read(uint8_t* Buffer, int32_t MaxCount) {
    if (!IsOpen() && FSocket->bytesAvailable() == 0)
        return -1;
    if (MaxCount <= 0)
        return 0;
    TOperationScope reading(*this, TOperation::Read);
    const qint64 n = FSocket->read(reinterpret_cast<char*>(Buffer), MaxCount);
    return n < 0 || reading.Failed() ? -1 : int32_t(n);
}

TStat TTCPDevice::Write(const uint8_t* Buffer, int32_t Count) {
    if (!IsOpen())
        return E_NOT_OPENED;
    if (Count < 0)
        return E_INVALID_PARAMETER;
    TOperationScope writing(*this, TOperation::Write);
    if (FSocket->write(reinterpret_cast<const char*>(Buffer), Count) != Count)
        return E_WRITE_ERROR;
    // Hand the bytes to the network now rather than at the next turn of the event loop.
    FSocket->flush();
    return writing.Failed() ? E_WRITE_ERROR : E_SUCCESS;
}

void TTCPDevice::GetPortList(QStringList& List) {
    List.clear();
    List.append(QStringLiteral("TCP"));
}

void TTCPDevice::WriteSettings(TIniFile& File, const QString& Section) {
    if (!IsOpen())
        return;
    File.WriteString(Section, QStringLiteral("device"), InterfaceName);
    File.WriteString(Section, QStringLiteral("host"), FHost);
    File.WriteInteger(Section, QStringLiteral("port"), FPort);
}

QString TTCPDevice::Address() const {
    return QStringLiteral("%1:%2").arg(FHost).arg(FPort);
}

std::string TTCPDevice::WithReason(TSocketErrorKind Kind) const {
    // The fixed text alone cannot tell a wrong host from a wrong port or a pulled cable.
    const QString reason = FSocket->errorString();
    return QStringLiteral("%1 (%2)")
        .arg(ErrorText(Kind), reason.isEmpty() ? Address() : Address() + QStringLiteral(": ") + reason)
        .toStdString();
}

QString TTCPDevice::ErrorText(TSocketErrorKind Kind) {
    switch (Kind) {
    case TSocketErrorKind::General:
        return QStringLiteral("General socket communication error");
    case TSocketErrorKind::Send:
        return QStringLiteral("Error while writing to socket");
    case TSocketErrorKind::Receive:
        return QStringLiteral("Error while reading from socket");
    case TSocketErrorKind::Connect:
        return QStringLiteral("Error while establishing socket connection");
    case TSocketErrorKind::Disconnect:
        return QStringLiteral("Error while closing socket connection");
    case TSocketErrorKind::Accept:
        return QStringLiteral("Error while trying to accept a client connection request");
    case TSocketErrorKind::Other:
        break;
    }
    return QStringLiteral("Unknown socket error");
}

void TTCPDevice::SocketError(QAbstractSocket::SocketError Error) {
    // The peer ending the connection is no failure; the disconnected signal reports it.
    if (Error == QAbstractSocket::RemoteHostClosedError)
        return;
    if (!FEstablished) {
        if (FOperation == TOperation::Close)
            return;        // an attempt we end ourselves
        StopConnectPoll(); // the attempt is over; nothing will come up
        SetLastError(Address(), FSocket->errorString());
        if (Error == QAbstractSocket::HostNotFoundError)
            throw std::runtime_error(
                QStringLiteral("Host \"%1\" not found: %2").arg(FHost, FSocket->errorString()).toStdString());
        throw ECommunicationError(WithReason(TSocketErrorKind::Connect));
    }
    if (FOperation != TOperation::None) {
        FOperationFailed = true;
        return;
    }
    // Outside our own calls the socket itself was at work: sending what still waits to go out,
    // or else receiving.
    const TSocketErrorKind kind =
        FSocket->bytesToWrite() > 0 ? TSocketErrorKind::Send : TSocketErrorKind::Receive;
    SetLastError(Address(), FSocket->errorString());
    throw ECommunicationError(WithReason(kind));
}

void TTCPDevice::SocketDisconnected() {
    if (FOperation == TOperation::Close || !FEstablished)
        return;
    // Lost without Close: tell the owner, so that nothing keeps a dead link for a live one. The
    // report waits for the next pass of the event loop, behind the delivery of the last bytes.
    QMetaObject::invokeMethod(
        this,
        [this, connection = FConnection] {
            RunGuarded([&] {
                if (connection != FConnection || !FEstablished || IsOpen())
                    return;
                FEstablished = false;
                StopConnectPoll();
                DoDisconnected();
            });
        },
        Qt::QueuedConnection);
}

QString TTCPDevice::LinkDescription() const {
    return QStringLiteral("%1 %2:%3").arg(InterfaceName, FHost).arg(FPort);
}
