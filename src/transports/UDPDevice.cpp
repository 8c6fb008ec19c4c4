#include "transports/UDPDevice.h"

#include "platform/ErrorGuard.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

#include <memory>

namespace {
const QString Common = QStringLiteral("common");
}

TUDPDevice::TUDPDevice(QObject* Owner) : TDevice(Owner, QStringLiteral("udp")) {
    InterfaceName = QStringLiteral("Ethernet/UDP");
}

TUDPDevice::TQuestion& TUDPDevice::AskOperator() {
    static TQuestion question;
    return question;
}

TUdpSettings TUDPDevice::StoredSettings() const {
    return {Settings().ReadString(Common, QStringLiteral("ipaddr"), QString()),
            Settings().ReadInteger(Common, QStringLiteral("listening_port"), 1501),
            Settings().ReadInteger(Common, QStringLiteral("transmit_port"), 1500)};
}

TUDPDevice::~TUDPDevice() {
    BeginDestroy();
    Close();
}

TStat TUDPDevice::Open(const QString&) {
    TUdpSettings settings = StoredSettings();
    try {
        if (AskOperator() && !AskOperator()(*this, settings))
            return E_CMD_ABORTED;
    } catch (const std::exception&) {
        return E_IO_ERROR; // a port field that holds no port
    }
    return OpenEndpoint(settings.Address, settings.ListeningPort, settings.TransmitPort);
}

TStat TUDPDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    return OpenWith({File.ReadString(Section, QStringLiteral("ipaddr"), QString()),
                     File.ReadInteger(Section, QStringLiteral("listening_port"), 0),
                     File.ReadInteger(Section, QStringLiteral("transmit_port"), 0)});
}

TStat TUDPDevice::OpenWith(const TUdpSettings& Given) {
    const auto portOk = [](int Port) { return Port > 0 && Port <= 65535; };
    if (Given.Address.isEmpty() || !portOk(Given.ListeningPort) || !portOk(Given.TransmitPort))
        return E_INVALID_PARAMETER;
    return OpenEndpoint(Given.Address, Given.ListeningPort, Given.TransmitPort);
}

TStat TUDPDevice::OpenEndpoint(const QString& Address, int ListeningPort, int TransmitPort) {
    if (IsOpen())
        Close();
    FRxQueue.Clear();
    DropStaged();
    ClearLastError();
    // A name that does not resolve now is reported as such, before any port is taken; it is
    // still looked up for every datagram, so that a changed address is followed.
    FRemoteHost = Address;
    const QString host = Address.trimmed();
    QHostAddress remote;
    QString reason;
    const QPointer<TUDPDevice> self(this);
    if (!host.isEmpty() && !remote.setAddress(host) && !LookUp(host, remote, &reason)) {
        if (self)
            SetLastError(host, reason);
        return E_IO_ERROR;
    }
    auto* endpoint = new QUdpSocket(this);
    // A port another program holds would silently receive nothing; report it instead.
    if (!endpoint->bind(QHostAddress::AnyIPv4, quint16(ListeningPort))) {
        SetLastError(QStringLiteral("UDP port %1").arg(ListeningPort), endpoint->errorString());
        delete endpoint;
        return E_IO_ERROR;
    }
    FEndpoint = endpoint;
    connect(FEndpoint, &QUdpSocket::readyRead, this, [this] { RunGuarded([this] { DatagramsPending(); }); });
    FLocalPort = ListeningPort;
    FRemotePort = TransmitPort;
    Settings().WriteString(Common, QStringLiteral("ipaddr"), Address);
    Settings().WriteInteger(Common, QStringLiteral("listening_port"), ListeningPort);
    Settings().WriteInteger(Common, QStringLiteral("transmit_port"), TransmitPort);
    StartConnectPoll();
    return E_SUCCESS;
}

TStat TUDPDevice::Close() {
    StopConnectPoll();
    DropStaged();
    if (FEndpoint) {
        QUdpSocket* endpoint = std::exchange(FEndpoint, nullptr);
        endpoint->disconnect(this);
        endpoint->close(); // frees the listening port at once
        // Close may run inside the endpoint's own notification.
        endpoint->deleteLater();
    }
    DoDisconnected();
    return E_SUCCESS;
}

void TUDPDevice::DropStaged() {
    ++FEndpointCount; // a delivery already queued finds nothing of its endpoint
    FStaged.clear();
    FStagedBytes = 0;
    FDeliveryPending = false;
}

quint16 TUDPDevice::LocalPort() const {
    return FEndpoint ? FEndpoint->localPort() : 0;
}

void TUDPDevice::DatagramsPending() {
    // Taken off the socket here (Qt stops notifying about datagrams not read in this slot) but
    // handed on one by one from the event loop: the socket does not signal again while this
    // slot runs, so a handler waiting in a nested event loop would hear nothing more.
    while (FEndpoint && FEndpoint->hasPendingDatagrams()) {
        const QNetworkDatagram d = FEndpoint->receiveDatagram();
        if (!d.isValid())
            continue;
        if (FStagedBytes + d.data().size() > MaxStagedBytes)
            continue; // nobody has been reading for a long time
        FStaged.push_back(d.data());
        FStagedBytes += d.data().size();
    }
    ScheduleDelivery();
}

void TUDPDevice::ScheduleDelivery() {
    if (FStaged.empty() || FDeliveryPending)
        return;
    FDeliveryPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, endpoint = FEndpointCount] {
            RunGuarded([&] {
                if (endpoint == FEndpointCount)
                    DeliverStaged();
            });
        },
        Qt::QueuedConnection);
}

void TUDPDevice::DeliverStaged() {
    FDeliveryPending = false;
    // A handler that raises must not strand the datagrams behind its own.
    struct TRest {
        TUDPDevice* D;
        ~TRest() {
            try {
                if (D->IsOpen())
                    D->ScheduleDelivery();
            } catch (...) {
                // Out of memory while unwinding; the next datagram delivers the rest.
            }
        }
    } rest{this};
    while (IsOpen() && !FStaged.empty()) {
        const QByteArray data = std::move(FStaged.front());
        FStaged.pop_front();
        FStagedBytes -= data.size();
        for (char c : data)
            if (!FRxQueue.Push(uint8_t(c)))
                break; // full: the rest of the datagram is dropped
        NotifyDataAvailable(int32_t(data.size()));
    }
}

int32_t TUDPDevice::Read(uint8_t* Buffer, int32_t MaxCount) {
    if (!IsOpen())
        return -1;
    if (MaxCount <= 0)
        return 0;
    return FRxQueue.Read(Buffer, MaxCount);
}

bool TUDPDevice::ResolveRemote(QHostAddress& Address, QString* Reason) {
    const QString host = FRemoteHost.trimmed();
    QHostAddress resolved;
    if (host.isEmpty()) {
        if (Reason)
            *Reason = QStringLiteral("no address given");
        return false;
    }
    // A dotted address needs no lookup; a name is looked up for every datagram.
    if (!resolved.setAddress(host) && !LookUp(host, resolved, Reason))
        return false;
    if (resolved.isNull() || resolved == QHostAddress::AnyIPv4 ||
        resolved.protocol() != QAbstractSocket::IPv4Protocol) {
        if (Reason)
            *Reason = QStringLiteral("not an IPv4 device address");
        return false;
    }
    Address = resolved;
    return true;
}

bool TUDPDevice::LookUp(const QString& Name, QHostAddress& Address, QString* Reason) {
    struct TAnswer {
        bool Done = false;
        QHostInfo Info;
    };
    auto answer = std::make_shared<TAnswer>();
    // Receives the answer; gone when this returns, so a late one reaches nobody.
    QObject context;
    const int id = QHostInfo::lookupHost(Name, &context, [answer](const QHostInfo& Info) {
        answer->Done = true;
        answer->Info = Info;
    });
    const QPointer<TUDPDevice> self(this);
    TEventWait wait(LookupLimitMs);
    while (!answer->Done) {
        wait.Pass();
        if (!self)
            return false;
        if (!answer->Done && wait.Elapsed() >= LookupLimitMs) {
            QHostInfo::abortHostLookup(id);
            if (Reason)
                *Reason = QStringLiteral("host name lookup timed out");
            return false;
        }
    }
    for (const QHostAddress& a : answer->Info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            Address = a;
            return true;
        }
    if (Reason)
        *Reason = answer->Info.error() != QHostInfo::NoError ? answer->Info.errorString()
                                                             : QStringLiteral("host has no IPv4 address");
    return false;
}

TStat TUDPDevice::Write(const uint8_t* Buffer, int32_t Count) {
    if (Count > MaxDatagram)
        return E_RANGE_ERROR;
    if (!IsOpen() || Count <= 0)
        return E_WRITE_ERROR;
    // Copied first: a send from inside the lookup's wait may reuse the caller's buffer.
    const QByteArray datagram(reinterpret_cast<const char*>(Buffer), Count);
    const QPointer<TUDPDevice> self(this);
    const uint32_t endpoint = FEndpointCount;
    QHostAddress to;
    if (!ResolveRemote(to) || !self)
        return E_WRITE_ERROR;
    // Events ran during a lookup: the endpoint may have been closed or replaced meanwhile.
    if (!IsOpen() || endpoint != FEndpointCount)
        return E_WRITE_ERROR;
    const qint64 sent = FEndpoint->writeDatagram(datagram, to, quint16(FRemotePort));
    return sent == Count ? E_SUCCESS : E_WRITE_ERROR;
}

void TUDPDevice::GetPortList(QStringList& List) {
    List.clear();
    List.append(QStringLiteral("UDP"));
}

void TUDPDevice::WriteSettings(TIniFile& File, const QString& Section) {
    if (!IsOpen())
        return;
    File.WriteString(Section, QStringLiteral("device"), InterfaceName);
    File.WriteString(Section, QStringLiteral("ipaddr"), FRemoteHost);
    File.WriteInteger(Section, QStringLiteral("listening_port"), FLocalPort);
    File.WriteInteger(Section, QStringLiteral("transmit_port"), FRemotePort);
}

QString TUDPDevice::LinkDescription() const {
    return QStringLiteral("%1 %2:%3").arg(InterfaceName, FRemoteHost).arg(FRemotePort);
}
