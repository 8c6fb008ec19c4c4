#include "KORADevice.h"

#include "Ansi.h"
#include "CommandComponent.h"
#include "DeviceComponent.h"
#include "ErrorGuard.h"
#include "convert.h"

#include <QThread>

#include <exception>

namespace {
// One flag for the whole process: a second synchronous exchange started from inside the wait
// of the first (a timer, a click) is refused instead of nesting. Stops bypass it.
bool GBusy = false;

class TBusyScope {
public:
    TBusyScope() : FPrevious(GBusy) { GBusy = true; }
    ~TBusyScope() { GBusy = FPrevious; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    bool FPrevious;
};

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
}

TKORADevice::~TKORADevice() {
    // The engine goes first, so that no transport callback reaches a half-destroyed device.
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

bool TKORADevice::IsConnected() const {
    return FCommand->IsConnected();
}

bool TKORADevice::Busy() {
    return GBusy;
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
    if (!IsConnected() || (GBusy && !Urgent))
        return false;
    TBusyScope busy;
    const TPacket request = MakePacket(CommandID, Payload);
    TWaiting waiting{CommandID, false, {}, OnPending};
    {
        // Registered before sending: the answer may arrive inside the send itself.
        FWaiting.push_back(&waiting);
        struct TUnlist {
            std::vector<TWaiting*>& List;
            TWaiting* Entry;
            ~TUnlist() { std::erase(List, Entry); }
        } unlist{FWaiting, &waiting};
        if (FCommand->SendPacket(request) != E_SUCCESS)
            return false;
        if (FCommLog != nullptr)
            FCommLog->AddPacket(request, false);
        WaitForResponse(waiting);
    }
    if (!waiting.Matched)
        throw EResponseTimeout("Timeout while waiting for response of command " + CommandName(CommandID));
    const TPacket& response = waiting.Response;
    if (response.Payload.size() < 2)
        throw EDuruzadUdror("Response to command " + CommandName(CommandID) + " is smaller than 2 bytes");
    // The whole 16-bit value decides: a status with a high byte is a failure, whatever its low byte.
    const uint16_t raw = RawStatus(response);
    if (raw != E_SUCCESS && raw != E_CMD_PENDING)
        throw EDuruzadUdror("Command " + CommandName(CommandID) + " failed: " + StatToStr(raw));
    Status = TStat(raw & 0xFF);
    StatusOnly = response.Payload.size() == 2;
    if (StatusOnly)
        Data.assign(2, 0);
    else
        Data.assign(response.Payload.begin() + 2, response.Payload.end());
    return true;
}

void TKORADevice::WaitForResponse(const TWaiting& Waiting) {
    // Packets are handled as they arrive (ProcessPackets), also inside a message box or a
    // nested exchange opened during this wait; the loop only waits for the match.
    TEventWait wait(ResponseTimeout, FWake);
    while (!Waiting.Matched) {
        if (wait.Elapsed() > ResponseTimeout)
            return;
        // A closed link cannot answer any more; do not freeze the caller for the rest of the limit.
        if (!IsConnected())
            return;
        wait.Pass(true);
    }
}

void TKORADevice::Dispatch(const TPacket& Packet) {
    // The oldest exchange waiting for this identifier takes the packet; a stop sent while
    // another exchange waits is matched by its own identifier.
    TWaiting* waiting = nullptr;
    for (TWaiting* w : FWaiting)
        if (!w->Matched && w->CommandID == Packet.CommandID) {
            waiting = w;
            break;
        }
    std::exception_ptr error;
    try {
        PacketReceived(Packet);
    } catch (...) {
        error = std::current_exception();
    }
    if (waiting != nullptr) {
        waiting->Matched = true;
        waiting->Response = Packet;
        // Registered at once, so that a final result right behind the pending answer finds it.
        if (waiting->OnPending != nullptr && *waiting->OnPending && Packet.Payload.size() >= 2 &&
            RawStatus(Packet) == E_CMD_PENDING)
            FAsyncResults.Register(Packet.CommandID, *waiting->OnPending);
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

void TKORADevice::DoConnected(TDevice*) {
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
    if (OnDisconnect)
        OnDisconnect(this);
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
