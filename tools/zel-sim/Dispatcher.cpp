#include "Dispatcher.h"

#include "GripperCommands.h"
#include "SensorCommands.h"
#include "SimCommands.h"
#include "SimSession.h"
#include "protocol/convert.h"
#include "protocol/stat.h"

#include <cmath>
#include <cstdio>

namespace zelsim {

namespace {
constexpr size_t MaxTagLength = 64;

std::string Hex(const TByteArray& Bytes, size_t Limit = 24) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < Bytes.size() && i < Limit; ++i) {
        std::snprintf(b, sizeof b, " %02X", Bytes[i]);
        s += b;
    }
    if (Bytes.size() > Limit)
        s += " ...";
    return s;
}

std::string Describe(EDeviceKind Kind, uint8_t Id, const TByteArray& Payload) {
    return CommandLabel(Kind, Id) + " [" + std::to_string(Payload.size()) + "]" + Hex(Payload);
}

std::string DescribeAnswer(const TByteArray& Answer) {
    if (Answer.size() < 2)
        return "[" + std::to_string(Answer.size()) + "]" + Hex(Answer);
    const TByteArray data(Answer.begin() + 2, Answer.end());
    return StatName(ReadWord(Answer.data())) + " [" + std::to_string(data.size()) + "]" + Hex(data);
}
} // namespace

TDispatcher::TDispatcher(const TSimConfig& Config, QObject* Parent)
    : QObject(Parent), FConfig(Config), FStart(std::chrono::steady_clock::now()),
      FTemperature(Config.Temperature), FTag(Config.Tag.begin(), Config.Tag.end()), FEventTimer(this) {
    if (FTag.size() > MaxTagLength)
        FTag.resize(MaxTagLength);
    auto sync = [this] { return Sync(); };
    if (Config.Device == EDeviceKind::Sensor) {
        auto h = std::make_unique<TSensorCommands>(Config.Sensor, sync);
        FSensor = h.get();
        FHandler = std::move(h);
    } else {
        auto h = std::make_unique<TGripperCommands>(Config.Gripper, FTemperature, sync);
        FGripper = h.get();
        FHandler = std::move(h);
    }
    FEventTimer.setSingleShot(true);
    FEventTimer.setTimerType(Qt::PreciseTimer);
    connect(&FEventTimer, &QTimer::timeout, this, [this] { Sync(); });
}

TDispatcher::~TDispatcher() = default;

double TDispatcher::Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
}

void TDispatcher::Attach(TSimSession* Session) {
    FSessions[Session->Id()] = Session;
}

void TDispatcher::Detach(TSimSession* Session) {
    FSessions.erase(Session->Id());
}

void TDispatcher::SetFaults(const TFaultConfig& Faults) {
    FConfig.Faults = Faults;
    for (auto& [id, s] : FSessions)
        s->Writer().SetFaults(Faults);
}

double TDispatcher::Sync() {
    const double now = Now();
    std::vector<TFinished> finished;
    FHandler->Advance(now, finished);
    Deliver(finished);
    Reschedule();
    return now;
}

void TDispatcher::Deliver(std::vector<TFinished>& Finished) {
    for (const TFinished& f : Finished) {
        auto it = FSessions.find(f.Owner);
        if (it == FSessions.end())
            continue; // the console that started it has gone
        const TByteArray payload = Answer(f.Status);
        if (FLog)
            Log(*it->second,
                "final " + CommandLabel(FConfig.Device, f.CommandID) + " -> " + DescribeAnswer(payload));
        it->second->Send(f.CommandID, payload, true);
    }
    Finished.clear();
}

void TDispatcher::Reschedule() {
    const double next = FHandler->NextEventTime();
    if (!std::isfinite(next)) {
        FEventTimer.stop();
        return;
    }
    const double wait = std::max(0.0, std::ceil((next - Now()) * 1000.0));
    FEventTimer.start(int(std::min(wait, 3.6e6)));
}

bool TDispatcher::HandleGeneric(TSimSession& Session, const TPacket& Packet, TByteArray& Out) {
    const auto& p = Packet.Payload;
    switch (uint8_t(Packet.CommandID)) {
    case LOOP:
        // The echo must still fit in a packet behind the status.
        Out = p.size() + 2 > size_t(MaxPayloadLength) ? Answer(E_RANGE_ERROR) : Answer(E_SUCCESS, p);
        return true;
    case ANNOUNCE_DISCONNECT:
        // The console is leaving: nothing more is sent to it unasked.
        Session.Updates().DisableAll();
        Out = Answer(E_SUCCESS);
        return true;
    case CMD_ID_GET_TEMPERATURE: {
        uint8_t b[2];
        WriteWord(b, uint16_t(FTemperature));
        Out = p.empty() ? Answer(E_SUCCESS, b, 2) : Answer(E_NO_PARAM_EXPECTED);
        return true;
    }
    case GET_SYSINFO: {
        uint8_t b[8] = {FConfig.DeviceType(), FConfig.SysInfo.HardwareRevision};
        WriteWord(b + 2, FConfig.SysInfo.Firmware);
        WriteLongWord(b + 4, FConfig.SysInfo.SerialNumber);
        Out = p.empty() ? Answer(E_SUCCESS, b, 8) : Answer(E_NO_PARAM_EXPECTED);
        return true;
    }
    case SET_DEVICE_TAG:
        if (p.size() > MaxTagLength) {
            Out = Answer(E_RANGE_ERROR);
        } else {
            FTag = p;
            Out = Answer(E_SUCCESS);
        }
        return true;
    case GET_DEVICE_TAG:
        Out = p.empty() ? Answer(E_SUCCESS, FTag) : Answer(E_NO_PARAM_EXPECTED);
        return true;
    case RUN_SCRIPT:
    case TERMINATE_SCRIPT:
        Out = Answer(E_FEATURE_NOT_SUPPORTED);
        return true;
    default:
        return false;
    }
}

void TDispatcher::Handle(TSimSession& Session, const TPacket& Packet) {
    const double now = Sync();
    const uint8_t id = uint8_t(Packet.CommandID);
    TByteArray answer;
    std::vector<TFinished> finished;
    // The device's own set first: the sensor reuses identifiers that mean something else elsewhere.
    if (FConfig.Faults.FailCommand == int(id))
        answer = Answer(TStat(FConfig.Faults.FailStatus));
    else if (!FHandler->Handle(Session, Packet, now, answer, finished) &&
             !HandleGeneric(Session, Packet, answer))
        answer = Answer(E_CMD_UNKNOWN);
    if (FLog)
        Log(Session, Describe(FConfig.Device, id, Packet.Payload) + " -> " + DescribeAnswer(answer));
    Session.Send(id, answer, true);
    Deliver(finished);
    for (int i = 0; i < Session.Writer().Faults().BurstCount; ++i) {
        uint8_t reportId = 0;
        TByteArray report;
        FHandler->Report(now, reportId, report);
        Session.Send(reportId, report);
    }
    Reschedule();
}

void TDispatcher::Log(const TSimSession& Session, const std::string& Text) {
    if (FLog)
        FLog(Session.Name().toStdString() + ": " + Text);
}

} // namespace zelsim
