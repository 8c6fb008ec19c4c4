#pragma once
// UDP endpoint: answers to the address and port each datagram came from, one packet per datagram.
#include "ByteSink.h"

#include <QHostAddress>
#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

class QUdpSocket;

namespace zelsim {

class TDispatcher;
class TSimSession;

class TUdpLink : public QObject, public TByteSink {
public:
    TUdpLink(TDispatcher& Dispatcher, QObject* Parent = nullptr);
    ~TUdpLink() override;

    bool Bind(const QHostAddress& Address, uint16_t Port, std::string& Error);
    uint16_t Port() const;

    void WriteBytes(const uint8_t* Data, size_t Count, bool Separate) override;
    void CloseLink() override {} // no connection: the session just stays silent

private:
    void ReadPending();

    QUdpSocket* FSocket;
    std::unique_ptr<TSimSession> FSession;
    QHostAddress FPeer;
    uint16_t FPeerPort = 0;
};

} // namespace zelsim
