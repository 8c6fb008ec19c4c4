#pragma once
// TCP server for one console at a time: a new connection replaces the old one.
#include "ByteSink.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <string>

class QTcpServer;
class QTcpSocket;

namespace zelsim {

class TDispatcher;
class TSimSession;

class TTcpLink : public QObject, public TByteSink {
public:
    TTcpLink(TDispatcher& Dispatcher, QObject* Parent = nullptr);
    ~TTcpLink() override;

    bool Listen(const QHostAddress& Address, uint16_t Port, std::string& Error);
    uint16_t Port() const;

    void WriteBytes(const uint8_t* Data, size_t Count, bool Separate) override;
    void CloseLink() override;

private:
    void Accept();
    void Drop();

    TDispatcher& FDispatcher;
    QTcpServer* FServer;
    QPointer<QTcpSocket> FSocket;
    TSimSession* FSession = nullptr;
};

} // namespace zelsim
