#include "ModbusServer.h"

#include "ErrorGuard.h"
#include "GatewayLog.h"
#include "GatewayUnit.h"

#include <QSocketNotifier>

#include <QDateTime>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int HeaderLength = 7; // MBAP: transaction, protocol, length, unit
constexpr int LongestAdu = 260; // header and the longest PDU
constexpr int MaxClients = 64;
constexpr qint64 RefusalQuiet = 10000;

uint16_t Word(const uint8_t* At) {
    return uint16_t(At[0] << 8 | At[1]);
}
} // namespace

TModbusServer::TModbusServer(const TGatewayConfig& Config, QObject* Parent)
    : QTcpServer(Parent), FConfig(Config), FContext(modbus_new_tcp("127.0.0.1", Config.ListenPort)) {
    if (FContext == nullptr)
        throw std::bad_alloc();
    setMaxPendingConnections(MaxClients);
}

TModbusServer::~TModbusServer() {
    while (!FClients.empty())
        Close(FClients.begin()->first);
    modbus_free(FContext);
}

void TModbusServer::AddUnit(TGatewayUnit* Unit) {
    FUnits[Unit->Unit()] = Unit;
}

bool TModbusServer::Listen(QString& Error) {
    if (listen(QHostAddress(FConfig.ListenAddress), quint16(FConfig.ListenPort)))
        return true;
    Error = QStringLiteral("cannot serve Modbus on %1:%2: %3")
                .arg(FConfig.ListenAddress)
                .arg(FConfig.ListenPort)
                .arg(errorString());
    return false;
}

void TModbusServer::incomingConnection(qintptr Socket) {
    const int fd = int(Socket);
    if (int(FClients.size()) >= MaxClients) {
        ::close(fd);
        return;
    }
    // Never blocks the gateway: an answer that cannot go out closes that client instead.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto client = std::make_unique<TClient>();
    client->Socket = fd;
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        client->Peer = QHostAddress(reinterpret_cast<const sockaddr*>(&address));
    client->Notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(client->Notifier, &QSocketNotifier::activated, this,
            [this, fd] { RunGuarded([&] { Readable(fd); }); });
    FClients[fd] = std::move(client);
}

void TModbusServer::Close(int Socket) {
    auto it = FClients.find(Socket);
    if (it == FClients.end())
        return;
    it->second->Notifier->setEnabled(false);
    it->second->Notifier->deleteLater();
    ::close(Socket);
    FClients.erase(it);
}

void TModbusServer::Readable(int Socket) {
    auto it = FClients.find(Socket);
    if (it == FClients.end())
        return;
    TClient& client = *it->second;
    uint8_t chunk[1024];
    const ssize_t got = ::recv(Socket, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        Close(Socket);
        return;
    }
    if (got < 0)
        return;
    client.Buffer.insert(client.Buffer.end(), chunk, chunk + got);
    size_t used = 0;
    while (client.Buffer.size() - used >= size_t(HeaderLength)) {
        const uint8_t* adu = client.Buffer.data() + used;
        const int length = Word(adu + 4); // unit identifier and PDU
        // Not Modbus, or a length no request can have: the stream cannot be framed any more.
        if (Word(adu + 2) != 0 || length < 2 || HeaderLength - 1 + length > LongestAdu) {
            Close(Socket);
            return;
        }
        const size_t whole = size_t(HeaderLength - 1 + length);
        if (client.Buffer.size() - used < whole)
            break;
        FExcepted = false;
        const bool sent = Answer(client, adu, int(whole));
        if (FUnits.count(adu[6]) != 0)
            emit Requested(adu[6], FExcepted);
        if (!sent) {
            Close(Socket);
            return;
        }
        used += whole;
    }
    client.Buffer.erase(client.Buffer.begin(), client.Buffer.begin() + std::ptrdiff_t(used));
}

void TModbusServer::LogRefusal(const TClient& Client, int Unit, const char* Why) {
    TRefusals& r = FRefusals[Client.Peer.toString() + QLatin1Char('/') + QLatin1String(Why)];
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (r.Last != 0 && now - r.Last < RefusalQuiet) {
        ++r.Quiet;
        return;
    }
    qCWarning(lcGateway).noquote()
        << QStringLiteral("refused a write from %1 to unit %2: %3%4")
               .arg(Client.Peer.toString())
               .arg(Unit)
               .arg(QLatin1String(Why))
               .arg(r.Quiet > 0 ? QStringLiteral(" (and %1 more since the last such line)").arg(r.Quiet)
                                : QString());
    r.Last = now;
    r.Quiet = 0;
}

bool TModbusServer::Exception(const uint8_t* Request, int Code) {
    FExcepted = true;
    return modbus_reply_exception(FContext, Request, unsigned(Code)) > 0;
}

bool TModbusServer::Refuse(const TClient& Client, const uint8_t* Request, int Code, const char* Why) {
    if (Why != nullptr)
        LogRefusal(Client, Request[6], Why);
    return Exception(Request, Code);
}

bool TModbusServer::Answer(TClient& Client, const uint8_t* Request, int Length) {
    modbus_set_socket(FContext, Client.Socket);
    const uint8_t* pdu = Request + HeaderLength;
    const int pduLength = Length - HeaderLength;
    const int function = pdu[0];
    const auto unitIt = FUnits.find(Request[6]);
    if (unitIt == FUnits.end()) {
        return Exception(Request, MODBUS_EXCEPTION_GATEWAY_PATH);
    }
    TGatewayUnit& unit = *unitIt->second;

    TMapTable table = TMapTable::Input;
    bool write = false;
    switch (function) {
    case MODBUS_FC_READ_COILS:
        table = TMapTable::Coil;
        break;
    case MODBUS_FC_READ_DISCRETE_INPUTS:
        table = TMapTable::Discrete;
        break;
    case MODBUS_FC_READ_HOLDING_REGISTERS:
        table = TMapTable::Holding;
        break;
    case MODBUS_FC_READ_INPUT_REGISTERS:
        table = TMapTable::Input;
        break;
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
        table = TMapTable::Coil;
        write = true;
        break;
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        table = TMapTable::Holding;
        write = true;
        break;
    default:
        return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
    }
    if (pduLength < 5) {
        return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
    }
    const int address = Word(pdu + 1);
    TUnitWrite change;
    change.Table = table;
    change.Address = address;
    int count = Word(pdu + 3);
    if (function == MODBUS_FC_WRITE_SINGLE_COIL) {
        const uint16_t value = Word(pdu + 3);
        if (value != 0xFF00 && value != 0x0000) {
            return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
        }
        count = 1;
        change.Values = {uint16_t(value != 0 ? 1 : 0)};
    } else if (function == MODBUS_FC_WRITE_SINGLE_REGISTER) {
        count = 1;
        change.Values = {Word(pdu + 3)};
    } else if (write) {
        const bool coils = function == MODBUS_FC_WRITE_MULTIPLE_COILS;
        const int bytes = pduLength >= 6 ? pdu[5] : -1;
        const int needed = coils ? (count + 7) / 8 : count * 2;
        if (count < 1 || count > (coils ? MODBUS_MAX_WRITE_BITS : MODBUS_MAX_WRITE_REGISTERS) ||
            bytes != needed || pduLength != 6 + bytes) {
            return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
        }
        for (int i = 0; i < count; ++i)
            change.Values.push_back(coils ? uint16_t(pdu[6 + i / 8] >> (i % 8) & 1) : Word(pdu + 6 + 2 * i));
    } else if (count < 1 || count > ((table == TMapTable::Coil || table == TMapTable::Discrete)
                                         ? MODBUS_MAX_READ_BITS
                                         : MODBUS_MAX_READ_REGISTERS)) {
        return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
    }

    if (write && !FConfig.Write) {
        return Refuse(Client, Request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION, "writes are off");
    }
    if (write && !FConfig.MayWrite(Client.Peer)) {
        return Refuse(Client, Request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION,
                      "the client is not on the allow list");
    }
    if (!ModbusMap::Covered(table, address, count, unit.Kinds())) {
        return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
    }
    if (write) {
        if (const int code = unit.Check(change); code != 0) {
            return Refuse(Client, Request, code,
                          code == MODBUS_EXCEPTION_GATEWAY_TARGET ? "the link to the device is down"
                                                                  : "no such command");
        }
    } else {
        unit.Refresh();
    }
    const bool sent = modbus_reply(FContext, Request, Length, unit.Image()) > 0;
    // The image has taken the write whether or not its answer went out.
    if (write)
        unit.Apply(change);
    return sent;
}
