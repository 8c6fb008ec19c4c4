#include "UDPDevice.h"

#include "ErrorGuard.h"
#include "UDPSettingsDialog.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <array>

namespace {
const QString Common = QStringLiteral("common");
}

TUDPDevice::TUDPDevice(QObject* Owner) : TDevice(Owner, QStringLiteral("udp")), FDialog(new TUDPSettingsDlg) {
    FDialog->SetAddress(Settings().ReadString(Common, QStringLiteral("ipaddr"), QString()));
    FDialog->SetListeningPort(Settings().ReadInteger(Common, QStringLiteral("listening_port"), 1501));
    FDialog->SetTransmitPort(Settings().ReadInteger(Common, QStringLiteral("transmit_port"), 1500));
    InterfaceName = QStringLiteral("Ethernet/UDP");
}

TUDPDevice::~TUDPDevice() {
    BeginDestroy();
    Close();
}

TStat TUDPDevice::Open(const QString&) {
    if (!FDialog->Show())
        return E_CMD_ABORTED;
    int listening = 0;
    int transmit = 0;
    try {
        listening = FDialog->ListeningPort();
        transmit = FDialog->TransmitPort();
    } catch (const std::exception&) {
        return E_IO_ERROR;
    }
    return OpenEndpoint(FDialog->Address(), listening, transmit);
}

TStat TUDPDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    const QString address = File.ReadString(Section, QStringLiteral("ipaddr"), QString());
    const int listening = File.ReadInteger(Section, QStringLiteral("listening_port"), 0);
    const int transmit = File.ReadInteger(Section, QStringLiteral("transmit_port"), 0);
    if (address.isEmpty() || listening <= 0 || transmit <= 0 || listening > 65535 || transmit > 65535)
        return E_INVALID_PARAMETER;
    FDialog->SetAddress(address);
    FDialog->SetListeningPort(listening);
    FDialog->SetTransmitPort(transmit);
    return OpenEndpoint(address, listening, transmit);
}

TStat TUDPDevice::OpenEndpoint(const QString& Address, int ListeningPort, int TransmitPort) {
    if (IsOpen())
        Close();
    FRxQueue.Clear();
    FResolved.clear();
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
    if (FResolved.isNull()) {
        QHostAddress direct;
        if (direct.setAddress(FRemoteHost)) {
            FResolved = direct;
        } else if (!FRemoteHost.trimmed().isEmpty()) {
            const QHostInfo info = QHostInfo::fromName(FRemoteHost.trimmed());
            for (const QHostAddress& a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    FResolved = a;
                    break;
                }
        }
    }
    if (FResolved.isNull() || FResolved == QHostAddress::AnyIPv4 ||
        FResolved.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    Address = FResolved;
    return true;
}

TStat TUDPDevice::Write(const uint8_t* Buffer, int32_t Count) {
    if (Count > MaxDatagram)
        return E_RANGE_ERROR;
    if (!IsOpen())
        return E_WRITE_ERROR;
    QHostAddress to;
    if (Count <= 0 || !ResolveRemote(to))
        return E_WRITE_ERROR;
    const qint64 sent =
        FEndpoint->writeDatagram(reinterpret_cast<const char*>(Buffer), Count, to, quint16(FRemotePort));
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
