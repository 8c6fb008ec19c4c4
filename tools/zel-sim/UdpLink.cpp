#include "UdpLink.h"

#include "SimSession.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace zelsim {

TUdpLink::TUdpLink(TDispatcher& Dispatcher, QObject* Parent)
    : QObject(Parent), FSocket(new QUdpSocket(this)),
      FSession(std::make_unique<TSimSession>(Dispatcher, "udp", *this)) {
    connect(FSocket, &QUdpSocket::readyRead, this, [this] { ReadPending(); });
}

TUdpLink::~TUdpLink() = default;

bool TUdpLink::Bind(const QHostAddress& Address, uint16_t Port, std::string& Error) {
    if (!FSocket->bind(Address, Port)) {
        Error = "udp: cannot bind " + Address.toString().toStdString() + ":" + std::to_string(Port) + ": " +
                FSocket->errorString().toStdString();
        return false;
    }
    return true;
}

uint16_t TUdpLink::Port() const {
    return FSocket->localPort();
}

void TUdpLink::ReadPending() {
    while (FSocket->hasPendingDatagrams()) {
        const QNetworkDatagram d = FSocket->receiveDatagram();
        if (!d.isValid())
            continue;
        // Whoever wrote last gets the answers and the automatic updates.
        FPeer = d.senderAddress();
        FPeerPort = uint16_t(d.senderPort());
        const QByteArray data = d.data();
        FSession->Receive(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    }
}

void TUdpLink::WriteBytes(const uint8_t* Data, size_t Count, bool /*Separate*/) {
    if (FPeerPort == 0)
        return;
    FSocket->writeDatagram(reinterpret_cast<const char*>(Data), qint64(Count), FPeer, FPeerPort);
}

} // namespace zelsim
