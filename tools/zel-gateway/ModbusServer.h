#pragma once
// The Modbus TCP server: reads requests from every client without blocking, routes each by its
// unit identifier to its unit, refuses what the map or the configuration does not allow with a
// Modbus exception, and lets libmodbus encode the answers from the unit's image.
#include "GatewayConfig.h"

#include <modbus.h>

#include <QHostAddress>
#include <QTcpServer>

#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;
class TGatewayUnit;

class TModbusServer : public QTcpServer {
    Q_OBJECT
public:
    TModbusServer(const TGatewayConfig& Config, QObject* Parent);
    ~TModbusServer() override;

    void AddUnit(TGatewayUnit* Unit);
    // Listens on the configured address; false with Error when it cannot.
    bool Listen(QString& Error);
    int ClientCount() const { return int(FClients.size()); }

signals:
    // Every request to a unit the gateway serves, once answered (Exception: with a Modbus
    // exception).
    void Requested(int Unit, bool Exception);

protected:
    void incomingConnection(qintptr Socket) override;

private:
    struct TClient {
        int Socket = -1;
        QHostAddress Peer;
        QSocketNotifier* Notifier = nullptr;
        std::vector<uint8_t> Buffer;
    };
    void Readable(int Socket);
    void Close(int Socket);
    // Answers one whole request (MBAP header and PDU).
    bool Answer(TClient& Client, const uint8_t* Request, int Length);
    // False when the answer could not be sent (a client that does not read): it is closed.
    bool Refuse(const TClient& Client, const uint8_t* Request, int Code, const char* Why = nullptr);
    bool Exception(const uint8_t* Request, int Code);
    void LogRefusal(const TClient& Client, int Unit, const char* Why);

    TGatewayConfig FConfig;
    modbus_t* FContext; // frames answers; never opens a socket of its own
    bool FExcepted = false; // the request being answered got an exception
    std::map<int, TGatewayUnit*> FUnits;
    std::map<int, std::unique_ptr<TClient>> FClients;
    // Refused writes are logged once per client and reason every RefusalQuiet ms, with a count.
    struct TRefusals {
        qint64 Last = 0;
        int Quiet = 0;
    };
    std::map<QString, TRefusals> FRefusals;
};
