#include "ZelGripper.h"

#include "zel/ZEL.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace zelpy {
namespace {
double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

constexpr uint8_t UpdateCommands[UpdateKinds] = {TZEL::GET_SYSTEM_STATE, TZEL::GET_GRASPING_STATE,
                                                 TZEL::GET_POS, TZEL::GET_FORCE};
} // namespace

TMotion::TMotion(std::shared_ptr<TGripper> Gripper, uint8_t CommandID, int FirstStatus,
                 std::shared_ptr<TFinal> Final)
    : FGripper(std::move(Gripper)), FCommandID(CommandID), FCommand(FGripper->CommandName(CommandID)),
      FFirstStatus(FirstStatus), FFinal(std::move(Final)) {}

bool TMotion::Done() const {
    return FFirstStatus != E_CMD_PENDING || FFinal->Count > 0;
}

int TMotion::Status() const {
    if (FFirstStatus != E_CMD_PENDING)
        return FFirstStatus;
    return FFinal->Count > 0 ? FFinal->Status : -1;
}

void TMotion::Wait(double TimeoutSeconds) {
    if (FFirstStatus == E_CMD_PENDING)
        FGripper->WaitFinal(FCommandID, *FFinal, 0, TimeoutSeconds);
}

TGripper::TGripper() : TDeviceSession(new TZEL(nullptr)) {
    TZEL& g = Zel();
    g.OnSystemStateChange.Add(this, [this](TKORADevice*) { Deliver(SystemStateUpdate, Zel().SystemState); });
    g.OnGraspingStateChange.Add(this,
                                [this](TKORADevice*) { Deliver(GraspingStateUpdate, Zel().GraspingState); });
    g.OnPositionChange.Add(this, [this](TKORADevice*) { Deliver(PositionUpdate, Zel().Position); });
    g.OnForceChange.Add(this, [this](TKORADevice*) { Deliver(ForceUpdate, Zel().Force); });
}

TGripper::~TGripper() {
    TZEL& g = Zel();
    g.OnSystemStateChange.Remove(this);
    g.OnGraspingStateChange.Remove(this);
    g.OnPositionChange.Remove(this);
    g.OnForceChange.Remove(this);
}

TZEL& TGripper::Zel() const {
    return static_cast<TZEL&>(*FDevice);
}

std::shared_ptr<TMotion> TGripper::Start(uint8_t CommandID, float A, float B) {
    auto final = std::make_shared<TFinal>();
    const TStat first = Run([&] {
        TZEL& g = Zel();
        const TAsyncResultEvent handler = Recorder(final);
        TStat s = E_CMD_FAILED;
        switch (CommandID) {
        case TZEL::HOMING:
            s = g.Homing(uint8_t(A), handler);
            break;
        case TZEL::MOVE:
            s = g.Move(A, B, handler);
            break;
        case TZEL::GRASP:
            s = g.Grasp(A, B, handler);
            break;
        case TZEL::RELEASE:
            s = g.Release(A, B, handler);
            break;
        default:
            throw std::invalid_argument("not a motion command");
        }
        if (s != E_SUCCESS && s != E_CMD_PENDING)
            Refused("Cannot start " + CommandName(CommandID));
        return s;
    });
    return std::make_shared<TMotion>(shared_from_this(), CommandID, first, final);
}

void TGripper::Stop() {
    Run([this] {
        if (Zel().Stop() == E_CMD_FAILED)
            Refused("Cannot stop");
    });
}

void TGripper::FastStop() {
    Run([this] {
        if (Zel().FastStop() == E_CMD_FAILED)
            Refused("Cannot issue a fast stop");
    });
}

void TGripper::Ack() {
    Run([this] {
        if (Zel().FastStopAck() == E_CMD_FAILED)
            Refused("Cannot acknowledge the fast stop");
    });
}

TByteArray TGripper::Query(uint8_t CommandID, size_t Length, const char* What) {
    return Run([&] {
        TByteArray data;
        TStat status = E_SUCCESS;
        if (!FDevice->ExecuteCommand(CommandID, {}, data, status))
            Refused(std::string("Cannot read the ") + What);
        if (data.size() != Length)
            throw TError(TFailure::CommandFailed,
                         std::string("The answer to ") + CommandName(CommandID) + " has " +
                             std::to_string(data.size()) + " data bytes instead of " + std::to_string(Length),
                         E_INCONSISTENT_DATA, CommandName(CommandID));
        return data;
    });
}

float TGripper::Position() {
    const TByteArray d = Query(TZEL::GET_POS, 4, "position");
    float v = 0;
    std::memcpy(&v, d.data(), 4);
    return v;
}

float TGripper::Force() {
    const TByteArray d = Query(TZEL::GET_FORCE, 4, "force");
    float v = 0;
    std::memcpy(&v, d.data(), 4);
    return v;
}

int TGripper::GraspingState() {
    return Query(TZEL::GET_GRASPING_STATE, 1, "grasping state")[0];
}

uint32_t TGripper::SystemState() {
    const TByteArray d = Query(TZEL::GET_SYSTEM_STATE, 4, "system state");
    return uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
}

TLimits TGripper::Limits() const {
    const TZEL& g = Zel();
    return {g.Stroke,          g.MinSpeed, g.MaxSpeed,     g.MinAcceleration,
            g.MaxAcceleration, g.MinForce, g.NominalForce, g.OverdriveForce};
}

void TGripper::Deliver(int Kind, double Value) {
    const TUpdate u{Kind, Value, Now()};
    // A callback may close its own or another subscription: work on a copy of the list.
    const std::vector<std::shared_ptr<TUpdates>> subscriptions = FUpdates;
    for (const std::shared_ptr<TUpdates>& s : subscriptions) {
        if (!s->Open || !(s->Kinds & (1u << Kind)))
            continue;
        ++s->Received;
        if (s->Callback) {
            try {
                s->Callback(u);
            } catch (...) {
                SetCallbackError(std::current_exception());
            }
            continue;
        }
        if (s->Queue.size() >= TUpdates::Capacity) {
            s->Queue.pop_front();
            ++s->Dropped;
        }
        s->Queue.push_back(u);
        s->MaxBacklog = std::max(s->MaxBacklog, s->Queue.size());
    }
    Wake();
}

void TGripper::SwitchUpdates(unsigned Kinds, bool Enable, int Period, bool OnChangeOnly) {
    for (int k = 0; k < UpdateKinds; ++k) {
        if (!(Kinds & (1u << k)))
            continue;
        if (Zel().SetAutoUpdate(UpdateCommands[k], Enable, uint16_t(Period), OnChangeOnly) == E_CMD_FAILED)
            Refused(std::string("Cannot switch ") + (Enable ? "on" : "off") + " automatic updates");
    }
}

std::shared_ptr<TUpdates> TGripper::Subscribe(unsigned Kinds, int Period, bool OnChangeOnly,
                                              std::function<void(const TUpdate&)> Callback) {
    auto s = std::make_shared<TUpdates>();
    s->Kinds = Kinds;
    s->Period = Period;
    s->OnChangeOnly = OnChangeOnly;
    s->Callback = std::move(Callback);
    // Listening before switching on: the first answer of each already carries the current value.
    FUpdates.push_back(s);
    try {
        Run([&] { SwitchUpdates(Kinds, true, Period, OnChangeOnly); });
    } catch (...) {
        // Nobody holds the subscription: it must not keep delivering.
        try {
            Unsubscribe(*s);
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
    return s;
}

void TGripper::Unsubscribe(TUpdates& Updates) {
    if (!Updates.Open)
        return;
    Updates.Open = false;
    unsigned stillUsed = 0;
    for (const auto& s : FUpdates)
        if (s->Open)
            stillUsed |= s->Kinds;
    FUpdates.erase(std::remove_if(FUpdates.begin(), FUpdates.end(), [](const auto& s) { return !s->Open; }),
                   FUpdates.end());
    if (FDevice->IsConnected())
        Run([&] { SwitchUpdates(Updates.Kinds & ~stillUsed, false, 0, false); });
}

bool TGripper::NextUpdate(TUpdates& Updates, double TimeoutSeconds, TUpdate& Update) {
    return Run([&] {
        if (Updates.Queue.empty() && Updates.Open) {
            PumpUntil([&] { return !Updates.Queue.empty() || !FDevice->IsConnected(); }, TimeoutSeconds);
            RaisePending();
        }
        if (Updates.Queue.empty()) {
            if (Updates.Open && !FDevice->IsConnected())
                throw TError(TFailure::LinkLost, "Connection closed while waiting for automatic updates",
                             E_NOT_OPENED);
            return false;
        }
        Update = Updates.Queue.front();
        Updates.Queue.pop_front();
        return true;
    });
}

} // namespace zelpy
