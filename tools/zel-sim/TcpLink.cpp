#include "TcpLink.h"

#include "SimSession.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace zelsim {

TTcpLink::TTcpLink(TDispatcher& Dispatcher, QObject* Parent)
    : QObject(Parent), FDispatcher(Dispatcher), FServer(new QTcpServer(this)) {
    connect(FServer, &QTcpServer::newConnection, this, [this] { Accept(); });
}

TTcpLink::~TTcpLink() {
    // The session talks to the dispatcher and the socket; it goes first.
    delete FSession;
    FSession = nullptr;
}

bool TTcpLink::Listen(const QHostAddress& Address, uint16_t Port, std::string& Error) {
    if (!FServer->listen(Address, Port)) {
        Error = "tcp: cannot listen on " + Address.toString().toStdString() + ":" + std::to_string(Port) +
                ": " + FServer->errorString().toStdString();
        return false;
    }
    return true;
}

uint16_t TTcpLink::Port() const {
    return FServer->serverPort();
}

void TTcpLink::Drop() {
    delete FSession;
    FSession = nullptr;
    if (FSocket) {
        FSocket->disconnect(this);
        FSocket->abort();
        FSocket->deleteLater();
    }
    FSocket = nullptr;
}

void TTcpLink::Accept() {
    while (QTcpSocket* s = FServer->nextPendingConnection()) {
        Drop();
        FSocket = s;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        FSession = new TSimSession(FDispatcher, "tcp", *this);
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            // Through a buffer on the stack: a request is a few bytes, and this runs for each.
            char buffer[4096];
            qint64 n = 0;
            while ((n = s->read(buffer, sizeof buffer)) > 0)
                if (FSession && s == FSocket)
                    FSession->Receive(reinterpret_cast<const uint8_t*>(buffer), size_t(n));
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            if (s == FSocket)
                QTimer::singleShot(0, this, [this, s] {
                    if (s == FSocket)
                        Drop();
                });
        });
    }
}

void TTcpLink::WriteBytes(const uint8_t* Data, size_t Count, bool /*Separate*/) {
    if (!FSocket)
        return;
    FSocket->write(reinterpret_cast<const char*>(Data), qint64(Count));
    // Every write leaves now: an answer waiting for the next pass of the event loop would add
    // that pass to each round trip. Separate writes therefore stay separate as well.
    FSocket->flush();
}

void TTcpLink::CloseLink() {
    // Called from inside the session's write: tear down once the stack has unwound, after the
    // last bytes went out.
    QPointer<QTcpSocket> s = FSocket;
    QTimer::singleShot(0, this, [this, s] {
        if (s && s == FSocket) {
            s->flush();
            s->disconnectFromHost();
            delete FSession;
            FSession = nullptr;
            FSocket->disconnect(this);
            FSocket->deleteLater();
            FSocket = nullptr;
        }
    });
}

} // namespace zelsim
