#include "device/KORADevice.h"

#include "platform/Ansi.h"
#include "engine/CommandComponent.h"
#include "transports/DeviceComponent.h"
#include "platform/ErrorGuard.h"
#include "engine/LinkAddress.h"
#include "protocol/convert.h"
#include "protocol/tick.h"

#include <QThread>

#include <algorithm>
#include <climits>
#include <exception>
#include <optional>

namespace {
TPacket MakePacket(uint8_t CommandID, const TByteArray& Payload) {
    TPacket p;
    p.CommandID = CommandID;
    p.Length = int32_t(Payload.size());
    p.Payload = Payload;
    return p;
}
} // namespace

EAssertionFailed::EAssertionFailed(const std::string& Source, int Line)
    : std::runtime_error("Assertion failure (" + Source + ", line " + std::to_string(Line) + ")"),
      FSource(Source), FLine(Line) {}

TKORADevice::TKORADevice(QObject* Owner) : QObject(Owner) {
    FCommand = new TCommand(this);
    // Virtual dispatch happens when the handlers run, so subclasses' overrides are reached.
    FCommand->SetOnConnected([this](TDevice* Sender) { DoConnected(Sender); });
    FCommand->SetOnDisconnected([this](TDevice* Sender) { DoDisconnected(Sender); });
    FCommand->OnPacket = [this](TCommand*) { ProcessPackets(); };
    FWake.setSingleShot(true);
    FWake.setTimerType(Qt::PreciseTimer);
    connect(&FWake, &QTimer::timeout, this, [this] { RunGuarded([this] { ExpireExchanges(); }); });
}

TKORADevice::~TKORADevice() {
    // The engine goes first, so that no transport callback reaches a half-destroyed device.
    FPending.clear(); // their callers hear nothing more from a device that is going
    FCommand->OnPacket = nullptr;
    FCommand->SetOnConnected(nullptr);
    FCommand->SetOnDisconnected(nullptr);
    delete FCommand;
    FCommand = nullptr;
}

void TKORADevice::SetCommLogObject(QObject* Log) {
    if (Log == nullptr) {
        FCommLog = nullptr;
        return;
    }
    auto* log = dynamic_cast<TCommLogSink*>(Log);
    if (log == nullptr)
        throw std::invalid_argument("CommLog has to be of TCommLog type");
    FCommLog = log;
}

TStat TKORADevice::Connect() {
    return FCommand->Connect();
}

TStat TKORADevice::ConnectFromSettings(int32_t Index, TIniFile& File, const QString& Section) {
    return FCommand->ConnectFromSettings(Index, File, Section);
}

TStat TKORADevice::ConnectLink(const TLinkAddress& Link) {
    return FCommand->Connect(Link);
}

bool TKORADevice::IsConnected() const {
    return FCommand->IsConnected();
}

uint16_t TKORADevice::RawStatus(const TPacket& Packet) {
    if (Packet.Payload.size() < 2)
        return 0;
    return ReadWord(Packet.Payload.data());
}

TStat TKORADevice::ResultStatus(const TPacket& Packet) {
    const uint16_t raw = RawStatus(Packet);
    return raw > 0xFF ? E_CMD_FAILED : TStat(raw);
}

bool TKORADevice::ExecuteCommand(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data,
                                 TStat& Status) {
    bool statusOnly = false;
    return Exchange(CommandID, Payload, Data, Status, statusOnly);
}

bool TKORADevice::Exchange(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status,
                           bool& StatusOnly, const TAsyncResultEvent& OnPending) {
    return RunExchange(CommandID, Payload, Data, Status, StatusOnly, false, OnPending ? &OnPending : nullptr);
}

bool TKORADevice::ExecuteUrgentCommand(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data,
                                       TStat& Status) {
    bool statusOnly = false;
    return RunExchange(CommandID, Payload, Data, Status, statusOnly, true, nullptr);
}

bool TKORADevice::RunExchange(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status,
                              bool& StatusOnly, bool Urgent, const TAsyncResultEvent* OnPending) {
    if (!IsConnected() || (Busy() && !Urgent))
        return false;
    // Busy until this call returns, also after the answer came: a timer handler in the rest of
    // the wait's pass must not start an exchange nested in this one.
    struct TSyncScope {
        int& Depth;
        explicit TSyncScope(int& D) : Depth(D) { ++Depth; }
        ~TSyncScope() { --Depth; }
        TSyncScope(const TSyncScope&) = delete;
        TSyncScope& operator=(const TSyncScope&) = delete;
    } sync(FSyncDepth);
    TExchangeResult result;
    bool done = false;
    uint32_t limit = ResponseTimeout;
    const uint64_t serial = Begin(
        CommandID, Payload, limit, [&](TKORADevice*, const TExchangeResult& R) { result = R, done = true; },
        OnPending != nullptr ? *OnPending : TAsyncResultEvent{}, Urgent);
    if (serial == 0)
        return false;
    // Whatever ends the wait, the entry must not outlive the locals its callback writes to.
    struct TUnlist {
        std::vector<TPending>& List;
        uint64_t Serial;
        ~TUnlist() {
            std::erase_if(List, [this](const TPending& P) { return P.Serial == Serial; });
        }
    } unlist{FPending, serial};
    // Packets are handled as they arrive (ProcessPackets), also inside a message box or a
    // nested exchange opened during this wait; the loop only waits for the outcome.
    TEventWait wait(limit, FWake);
    while (!done) {
        // What another exchange's callback raises is not this caller's error.
        RunGuarded([this] { ExpireExchanges(); });
        if (done)
            break;
        wait.Pass(true);
    }
    if (result.Error)
        std::rethrow_exception(result.Error);
    Status = result.Status;
    StatusOnly = result.StatusOnly;
    Data = std::move(result.Data);
    return true;
}

bool TKORADevice::StartExchange(uint8_t CommandID, const TByteArray& Payload, TExchangeDone Done,
                                const TAsyncResultEvent& OnPending, bool Urgent) {
    if (!IsConnected() || (Busy() && !Urgent))
        return false;
    uint32_t limit = 0;
    return Begin(CommandID, Payload, limit, std::move(Done), OnPending, Urgent) != 0;
}

uint64_t TKORADevice::Begin(uint8_t CommandID, const TByteArray& Payload, uint32_t& Limit, TExchangeDone Done,
                            const TAsyncResultEvent& OnPending, bool) {
    const TPacket request = MakePacket(CommandID, Payload);
    const uint64_t serial = ++FSerial;
    // Registered before sending: the answer may arrive inside the send itself.
    const uint32_t now = GetTickCount32();
    uint32_t limit = ResponseTimeout;
    if (FInConnectSequence && FConnectLimit > 0) {
        const uint32_t used = TicksSince(FConnectStart, now);
        limit = used < FConnectLimit ? FConnectLimit - used : 1;
    }
    Limit = limit;
    FPending.push_back({serial, CommandID, now, limit, std::move(Done), OnPending});
    TStat sent = E_IO_ERROR;
    try {
        sent = FCommand->SendPacket(request);
    } catch (...) {
        std::erase_if(FPending, [serial](const TPending& P) { return P.Serial == serial; });
        throw;
    }
    if (sent != E_SUCCESS) {
        std::erase_if(FPending, [serial](const TPending& P) { return P.Serial == serial; });
        return 0;
    }
    if (FCommLog != nullptr)
        FCommLog->AddPacket(request, false);
    ArmWake();
    return serial;
}

void TKORADevice::ArmWake() {
    if (FPending.empty())
        return;
    const uint32_t now = GetTickCount32();
    uint32_t soonest = UINT32_MAX;
    for (const TPending& p : FPending) {
        const uint32_t elapsed = TicksSince(p.Start, now);
        soonest = std::min(soonest, elapsed < p.Limit ? p.Limit - elapsed : 0);
    }
    const int due = int(std::min<uint32_t>(soonest, INT32_MAX - 1)) + 1;
    if (!FWake.isActive() || FWake.remainingTime() > due)
        FWake.start(due);
}

TExchangeResult TKORADevice::Unanswered(const TPending& Pending, TExchangeResult::TKind Kind) const {
    TExchangeResult r;
    r.Kind = Kind;
    r.Error = std::make_exception_ptr(
        EResponseTimeout("Timeout while waiting for response of command " + CommandName(Pending.CommandID)));
    return r;
}

TExchangeResult TKORADevice::Answered(const TPending& Pending, const TPacket& Response) const {
    TExchangeResult r;
    const std::string name = CommandName(Pending.CommandID);
    if (Response.Payload.size() < 2) {
        r.Kind = TExchangeResult::TKind::Failed;
        r.Error = std::make_exception_ptr(
            EDuruzadUdror("Response to command " + name + " is smaller than 2 bytes"));
        return r;
    }
    // The whole 16-bit value decides: a status with a high byte is a failure, whatever its low byte.
    const uint16_t raw = RawStatus(Response);
    if (raw != E_SUCCESS && raw != E_CMD_PENDING) {
        r.Kind = TExchangeResult::TKind::Failed;
        r.Status = TStat(raw & 0xFF);
        r.Error = std::make_exception_ptr(EDuruzadUdror("Command " + name + " failed: " + StatToStr(raw)));
        return r;
    }
    r.Status = TStat(raw & 0xFF);
    r.StatusOnly = Response.Payload.size() == 2;
    if (r.StatusOnly)
        r.Data.assign(2, 0);
    else
        r.Data.assign(Response.Payload.begin() + 2, Response.Payload.end());
    return r;
}

void TKORADevice::Complete(TPending& Pending, TExchangeResult& Result) {
    if (Pending.Done)
        Pending.Done(this, Result);
}

void TKORADevice::ExpireExchanges() {
    if (FPending.empty())
        return;
    if (!IsConnected()) {
        // A closed link cannot answer any more; nobody waits for the rest of the limit.
        EndAll(TExchangeResult::TKind::LinkLost);
        return;
    }
    const uint32_t now = GetTickCount32();
    std::vector<TPending> expired;
    for (auto it = FPending.begin(); it != FPending.end();) {
        if (TicksSince(it->Start, now) > it->Limit) {
            expired.push_back(std::move(*it));
            it = FPending.erase(it);
        } else {
            ++it;
        }
    }
    ArmWake();
    EndUnanswered(expired, TExchangeResult::TKind::Timeout);
}

void TKORADevice::EndAll(TExchangeResult::TKind Kind) {
    std::vector<TPending> ended;
    ended.swap(FPending);
    EndUnanswered(ended, Kind);
}

void TKORADevice::EndUnanswered(std::vector<TPending>& Ended, TExchangeResult::TKind Kind) {
    // Every waiting caller hears its end, even when an earlier one throws; the first error goes on.
    std::exception_ptr first;
    for (TPending& p : Ended) {
        TExchangeResult r = Unanswered(p, Kind);
        try {
            Complete(p, r);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

void TKORADevice::Dispatch(const TPacket& Packet) {
    // The oldest exchange waiting for this identifier takes the packet; a stop sent while
    // another exchange waits is matched by its own identifier.
    std::optional<TPending> matched;
    for (auto it = FPending.begin(); it != FPending.end(); ++it)
        if (it->CommandID == Packet.CommandID) {
            matched = std::move(*it);
            FPending.erase(it);
            break;
        }
    std::exception_ptr error;
    try {
        PacketReceived(Packet);
    } catch (...) {
        error = std::current_exception();
    }
    if (matched) {
        // Registered at once, so that a final result right behind the pending answer finds it.
        if (matched->OnPending && Packet.Payload.size() >= 2 && RawStatus(Packet) == E_CMD_PENDING)
            FAsyncResults.Register(Packet.CommandID, matched->OnPending);
        TExchangeResult r = Answered(*matched, Packet);
        try {
            Complete(*matched, r);
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    }
    if (error)
        std::rethrow_exception(error);
}

TStat TKORADevice::ExecuteAsyncCommand(uint8_t CommandID, const TByteArray& Payload,
                                       TAsyncResultEvent Handler) {
    if (!IsConnected())
        return E_NOT_OPENED;
    FAsyncResults.Unregister(CommandID);
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    if (!RunExchange(CommandID, Payload, data, status, statusOnly, false, &Handler))
        return E_CMD_FAILED;
    return status;
}

void TKORADevice::PostCommand(uint8_t CommandID, const TByteArray& Payload) {
    const TStat result = FCommand->SendPacket(MakePacket(CommandID, Payload));
    if (result != E_SUCCESS)
        throw EDuruzadUdror("Error while sending packet: " + StatToStr(result));
}

void TKORADevice::ProcessPackets() {
    // A packet whose handling raises must not strand the packets behind it in the store:
    // all are handled, and the first error is raised afterwards.
    std::exception_ptr first;
    TPacket packet;
    while (FCommand->PacketCount() > 0 && FCommand->GetPacket(packet)) {
        try {
            Dispatch(packet);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

void TKORADevice::PacketReceived(const TPacket& Packet) {
    if (FCommLog != nullptr)
        FCommLog->AddPacket(Packet, true);
}

void TKORADevice::DeliverAsyncResult(const TPacket& Packet) {
    if (Packet.Payload.size() < 2)
        return;
    const TAsyncResultEvent handler = FAsyncResults.Lookup(Packet.CommandID);
    if (!handler)
        return;
    const TByteArray data(Packet.Payload.begin() + 2, Packet.Payload.end());
    handler(this, Packet.CommandID, ResultStatus(Packet), data);
}

void TKORADevice::ForgetSystemInfo() {
    DeviceType = 0;
    HardwareRevision = 0;
    FirmwareMajor = FirmwareMinor = FirmwarePatch = FirmwareRC = 0;
    SerialNumber = 0;
}

void TKORADevice::SetConnectTimeLimit(uint32_t Ms) {
    FConnectStart = GetTickCount32();
    FConnectLimit = Ms;
}

void TKORADevice::DoConnected(TDevice* Sender) {
    FInConnectSequence = true;
    std::exception_ptr error;
    try {
        RunConnectSequence(Sender);
    } catch (...) {
        error = std::current_exception();
    }
    FInConnectSequence = false;
    FConnectLimit = 0;
    try {
        if (OnConnectSequenceDone)
            OnConnectSequenceDone(this);
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    if (error)
        std::rethrow_exception(error);
}

void TKORADevice::RunConnectSequence(TDevice*) {
    // A device whose system information cannot be read must not pass the device check under
    // the type of the previous connection.
    ForgetSystemInfo();
    FConnectFailure.clear();
    try {
        GetSystemInfo();
    } catch (...) {
        FailConnect(StepFailure("system information", std::current_exception()));
        return;
    }
    if (CheckDevice() && OnConnect)
        OnConnect(this);
}

std::string TKORADevice::StepFailure(const std::string& Step, std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const EResponseTimeout&) {
        return "no answer to the " + Step + " request";
    } catch (...) {
        return "the " + Step + " request failed: " + ExceptionMessage(Error);
    }
}

void TKORADevice::FailConnect(const std::string& Reason) {
    FConnectFailure = "Connecting failed: " + Reason;
    std::exception_ptr closeError;
    try {
        Disconnect();
    } catch (...) {
        closeError = std::current_exception();
    }
    if (OnConnectFailed)
        OnConnectFailed(this);
    if (closeError)
        std::rethrow_exception(closeError);
}

QString TKORADevice::LinkError() const {
    const TDevice* link = FCommand->LastDevice();
    return link != nullptr ? link->LastError() : QString();
}

QString TKORADevice::UnstorableTagCharacters(const QString& Tag) {
    return NonAnsiCharacters(Tag);
}

void TKORADevice::DoDisconnected(TDevice*) {
    // The exchanges still waiting hear of it before the listeners do.
    std::exception_ptr error;
    try {
        EndAll(TExchangeResult::TKind::LinkLost);
    } catch (...) {
        error = std::current_exception();
    }
    if (OnDisconnect)
        OnDisconnect(this);
    if (error)
        std::rethrow_exception(error);
}

void TKORADevice::Disconnect() {
    if (!IsConnected())
        return;
    try {
        AnnounceDisconnect();
    } catch (...) {
        FCommand->Disconnect();
        throw;
    }
    FCommand->Disconnect();
}

void TKORADevice::AnnounceDisconnect() {
    PostCommand(ANNOUNCE_DISCONNECT, {});
    QThread::msleep(100);
}

bool TKORADevice::GetSystemInfo() {
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!ExecuteCommand(GET_SYSINFO, {}, data, status) || data.size() != 8)
        return false;
    DeviceType = data[0];
    HardwareRevision = data[1];
    const uint16_t version = ReadWord(&data[2]);
    FirmwareMajor = (version >> 12) & 0xF;
    FirmwareMinor = (version >> 8) & 0xF;
    FirmwarePatch = (version >> 4) & 0xF;
    FirmwareRC = version & 0xF;
    SerialNumber = int32_t(ReadLongWord(&data[4]));
    return true;
}

double TKORADevice::GetTemperature() {
    double celsius = 0.0;
    ReadTemperature(celsius);
    return celsius;
}

bool TKORADevice::ReadTemperature(double& Celsius) {
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    Celsius = 0.0;
    if (!Exchange(CMD_ID_GET_TEMPERATURE, {}, data, status, statusOnly))
        return false;
    // A reading needs two data bytes; anything shorter must not pass for 0.0 degrees.
    if (statusOnly || data.size() < 2)
        throw EDuruzadUdror("Response to command " + CommandName(CMD_ID_GET_TEMPERATURE) +
                            " holds no temperature");
    Celsius = BytesToSmallInt(data[0], data[1]) / 10.0;
    return true;
}

bool TKORADevice::SetDeviceTag(const QString& Tag) {
    TByteArray data;
    TStat status = E_SUCCESS;
    // Written as '?' they would change the tag without a word.
    const QString bad = UnstorableTagCharacters(Tag);
    if (!bad.isEmpty())
        throw std::invalid_argument(
            ("The device tag cannot hold these characters: " + bad).toUtf8().toStdString());
    TByteArray payload = StringToAnsi(Tag); // one byte per character
    if (payload.size() > size_t(MaxTagLength))
        payload.resize(MaxTagLength);
    return ExecuteCommand(SET_DEVICE_TAG, payload, data, status);
}

bool TKORADevice::GetDeviceTag(QString& Tag) {
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    if (!Exchange(GET_DEVICE_TAG, {}, data, status, statusOnly))
        return false;
    Tag = statusOnly ? QString() : AnsiToString(data);
    return true;
}

std::string TKORADevice::DeviceTypeToStr(uint8_t Type) {
    switch (Type & 0x7F) {
    case 1:
        return "ZEL 11";
    case 2:
        return "ZEL 12";
    case 3:
        return "LOR 21";
    case 4:
        return "TAQ";
    case 5:
        return "ZEL 13";
    case 6:
        return "ZEL 14";
    case 7:
        return "MORVIK";
    default:
        return "(undefined)";
    }
}

void TKORADevice::GetCommandName(int32_t CommandID, std::string& Name) const {
    Name = GenericCommandName(CommandID);
}

std::string TKORADevice::CommandName(int32_t CommandID) const {
    std::string name;
    GetCommandName(CommandID, name);
    return name;
}
