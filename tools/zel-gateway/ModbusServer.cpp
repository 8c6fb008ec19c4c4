#include "ModbusServer.h"

#include "platform/ErrorGuard.h"
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

namespace {
// The table a function code works on and whether it writes; false for a function not served.
bool FunctionTable(int Function, TMapTable& Table, bool& Write) {
    Write = false;
    switch (Function) {
    case MODBUS_FC_READ_COILS:
        Table = TMapTable::Coil;
        return true;
    case MODBUS_FC_READ_DISCRETE_INPUTS:
        Table = TMapTable::Discrete;
        return true;
    case MODBUS_FC_READ_HOLDING_REGISTERS:
        Table = TMapTable::Holding;
        return true;
    case MODBUS_FC_READ_INPUT_REGISTERS:
        Table = TMapTable::Input;
        return true;
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
        Table = TMapTable::Coil;
        Write = true;
        return true;
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        Table = TMapTable::Holding;
        Write = true;
        return true;
    default:
        return false;
    }
}

// The count of a request and the values it writes; 0, or the exception code of a malformed request.
int ReadRequest(const uint8_t* Pdu, int PduLength, int Function, bool Write, TUnitWrite& Change, int& Count) {
    if (PduLength < 5)
        return MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
    Count = Word(Pdu + 3);
    if (Function == MODBUS_FC_WRITE_SINGLE_COIL) {
        const uint16_t value = Word(Pdu + 3);
        if (value != 0xFF00 && value != 0x0000)
            return MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
        Count = 1;
        Change.Values = {uint16_t(value != 0 ? 1 : 0)};
    } else if (Function == MODBUS_FC_WRITE_SINGLE_REGISTER) {
        Count = 1;
        Change.Values = {Word(Pdu + 3)};
    } else if (Write) {
        const bool coils = Function == MODBUS_FC_WRITE_MULTIPLE_COILS;
        const int bytes = PduLength >= 6 ? Pdu[5] : -1;
        const int needed = coils ? (Count + 7) / 8 : Count * 2;
        if (Count < 1 || Count > (coils ? MODBUS_MAX_WRITE_BITS : MODBUS_MAX_WRITE_REGISTERS) ||
            bytes != needed || PduLength != 6 + bytes)
            return MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
        for (int i = 0; i < Count; ++i)
            Change.Values.push_back(coils ? uint16_t(Pdu[6 + i / 8] >> (i % 8) & 1) : Word(Pdu + 6 + 2 * i));
    } else if (Count < 1 || Count > ((Change.Table == TMapTable::Coil || Change.Table == TMapTable::Discrete)
                                         ? MODBUS_MAX_READ_BITS
                                         : MODBUS_MAX_READ_REGISTERS)) {
        return MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
    }
    return 0;
}
} // namespace

bool TModbusServer::Answer(TClient& Client, const uint8_t* Request, int Length) {
    modbus_set_socket(FContext, Client.Socket);
    const uint8_t* pdu = Request + HeaderLength;
    const int function = pdu[0];
    const auto unitIt = FUnits.find(Request[6]);
    if (unitIt == FUnits.end())
        return Exception(Request, MODBUS_EXCEPTION_GATEWAY_PATH);
    TGatewayUnit& unit = *unitIt->second;

    TUnitWrite change;
    bool write = false;
    if (!FunctionTable(function, change.Table, write))
        return Exception(Request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
    int count = 0;
    if (const int code = ReadRequest(pdu, Length - HeaderLength, function, write, change, count); code != 0)
        return Exception(Request, code);
    const TMapTable table = change.Table;
    const int address = change.Address = Word(pdu + 1);

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
