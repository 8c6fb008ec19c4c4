#include "UDPDevice.h"

#include "ErrorGuard.h"
#include "UDPSettingsDialog.h"

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

TUDPSettingsDlg* TUDPDevice::Dialog() const {
    if (!FDialog) {
        FDialog = std::make_unique<TUDPSettingsDlg>();
        FDialog->SetAddress(Settings().ReadString(Common, QStringLiteral("ipaddr"), QString()));
        FDialog->SetListeningPort(Settings().ReadInteger(Common, QStringLiteral("listening_port"), 1501));
        FDialog->SetTransmitPort(Settings().ReadInteger(Common, QStringLiteral("transmit_port"), 1500));
    }
    return FDialog.get();
}

TUDPDevice::~TUDPDevice() {
    BeginDestroy();
    Close();
}

TStat TUDPDevice::Open(const QString&) {
    if (!Dialog()->Show())
        return E_CMD_ABORTED;
    int listening = 0;
    int transmit = 0;
    try {
        listening = Dialog()->ListeningPort();
        transmit = Dialog()->TransmitPort();
    } catch (const std::exception&) {
        return E_IO_ERROR;
    }
    return OpenEndpoint(Dialog()->Address(), listening, transmit);
}

TStat TUDPDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    const QString address = File.ReadString(Section, QStringLiteral("ipaddr"), QString());
    const int listening = File.ReadInteger(Section, QStringLiteral("listening_port"), 0);
    const int transmit = File.ReadInteger(Section, QStringLiteral("transmit_port"), 0);
    if (address.isEmpty() || listening <= 0 || transmit <= 0 || listening > 65535 || transmit > 65535)
        return E_INVALID_PARAMETER;
    Dialog()->SetAddress(address);
    Dialog()->SetListeningPort(listening);
    Dialog()->SetTransmitPort(transmit);
    return OpenEndpoint(address, listening, transmit);
}

TStat TUDPDevice::OpenEndpoint(const QString& Address, int ListeningPort, int TransmitPort) {
    if (IsOpen())
        Close();
    FRxQueue.Clear();
    DropStaged();
    auto* endpoint = new QUdpSocket(this);
    // A port another program holds would silently receive nothing; report it instead.
    if (!endpoint->bind(QHostAddress::AnyIPv4, quint16(ListeningPort))) {
        delete endpoint;
        return E_IO_ERROR;
    }
    FEndpoint = endpoint;
    connect(FEndpoint, &QUdpSocket::readyRead, this, [this] { RunGuarded([this] { DatagramsPending(); }); });
    FRemoteHost = Address;
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

bool TUDPDevice::ResolveRemote(QHostAddress& Address) {
    const QString host = FRemoteHost.trimmed();
    QHostAddress resolved;
    // A dotted address needs no lookup; a name is looked up for every datagram.
    if (!resolved.setAddress(host) && (host.isEmpty() || !LookUp(host, resolved)))
        return false;
    if (resolved.isNull() || resolved == QHostAddress::AnyIPv4 ||
        resolved.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    Address = resolved;
    return true;
}

bool TUDPDevice::LookUp(const QString& Name, QHostAddress& Address) {
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
            return false;
        }
    }
    for (const QHostAddress& a : answer->Info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            Address = a;
            return true;
        }
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
