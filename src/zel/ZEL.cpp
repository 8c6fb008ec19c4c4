#include "zel/ZEL.h"

#include "zel/ZEL_fields.h"
#include "protocol/convert.h"

const TByteArray TZEL::FastStopAckPayload = {'a', 'c', 'k'};

namespace {
constexpr int SystemLimitCount = 8;
constexpr int GraspingStateAssertLine = 246;
} // namespace

TByteArray TZEL::FloatPayload(float Value) {
    TByteArray p(4);
    WriteSingle(p.data(), Value);
    return p;
}

TByteArray TZEL::TwoFloatPayload(float First, float Second) {
    TByteArray p(8);
    WriteSingle(p.data(), First);
    WriteSingle(p.data() + 4, Second);
    return p;
}

TByteArray TZEL::MovePayload(float Position, float Speed) {
    TByteArray p(9, 0); // byte 0: flags, always 0
    WriteSingle(p.data() + 1, Position);
    WriteSingle(p.data() + 5, Speed);
    return p;
}

TByteArray TZEL::AutoUpdatePayload(bool Enable, uint16_t Period, bool OnChangeOnly) {
    TByteArray p(3, 0);
    if (Enable) {
        p[0] = OnChangeOnly ? 0x03 : 0x01;
        WriteWord(p.data() + 1, Period);
    }
    return p;
}

TStat TZEL::Run(uint8_t CommandID, const TByteArray& Payload) {
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!ExecuteCommand(CommandID, Payload, data, status))
        return E_CMD_FAILED;
    return status;
}

TStat TZEL::Homing(uint8_t Direction, TAsyncResultEvent OnResult) {
    return ExecuteAsyncCommand(HOMING, {Direction}, std::move(OnResult));
}

TStat TZEL::Move(float Target, float Speed, TAsyncResultEvent OnResult) {
    return ExecuteAsyncCommand(MOVE, MovePayload(Target, Speed), std::move(OnResult));
}

TStat TZEL::Grasp(float Width, float Speed, TAsyncResultEvent OnResult) {
    return ExecuteAsyncCommand(GRASP, TwoFloatPayload(Width, Speed), std::move(OnResult));
}

TStat TZEL::Release(float Target, float Speed, TAsyncResultEvent OnResult) {
    return ExecuteAsyncCommand(RELEASE, TwoFloatPayload(Target, Speed), std::move(OnResult));
}

// Stops go out even while another exchange waits for its answer: a stop is never held back.
TStat TZEL::Stop() {
    return RunUrgent(STOP);
}
TStat TZEL::FastStop() {
    return RunUrgent(FAST_STOP);
}

TStat TZEL::RunUrgent(uint8_t CommandID) {
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!ExecuteUrgentCommand(CommandID, {}, data, status))
        return E_CMD_FAILED;
    return status;
}
TStat TZEL::FastStopAck() {
    return Run(FAST_STOP_ACK, FastStopAckPayload);
}
TStat TZEL::SetAcceleration(float Value) {
    return Run(SET_ACCELERATION, FloatPayload(Value));
}
TStat TZEL::SetForceLimit(float Value) {
    return Run(SET_FORCE_LIMIT, FloatPayload(Value));
}
TStat TZEL::GetAcceleration(float& Value) {
    return ReadFloat(GET_ACCELERATION, Value);
}
TStat TZEL::GetForceLimit(float& Value) {
    return ReadFloat(GET_FORCE_LIMIT, Value);
}

TStat TZEL::ReadFloat(uint8_t CommandID, float& Value) {
    TByteArray data;
    TStat status = E_SUCCESS;
    float value = 0;
    if (!ExecuteCommand(CommandID, {}, data, status) || !ReadZelFloat(CommandID, data, value))
        return E_CMD_FAILED;
    if (status == E_SUCCESS)
        Value = value;
    return status;
}

TStat TZEL::GetGraspingStats(TGraspingStats& Stats, bool Reset) {
    TByteArray data;
    TStat status = E_SUCCESS;
    TGraspingStats stats;
    if (!ExecuteCommand(GET_GRASPING_STATS, {uint8_t(Reset ? 1 : 0)}, data, status) ||
        !ReadGraspingStats(data, stats))
        return E_CMD_FAILED;
    if (status == E_SUCCESS)
        Stats = stats;
    return status;
}

TStat TZEL::SetAutoUpdate(uint8_t CommandID, bool Enable, uint16_t Period, bool OnChangeOnly) {
    return Run(CommandID, AutoUpdatePayload(Enable, Period, OnChangeOnly));
}

TStat TZEL::AutoUpdateSystemState(bool Enable, uint16_t Period, bool OnChangeOnly) {
    return SetAutoUpdate(GET_SYSTEM_STATE, Enable, Period, OnChangeOnly);
}

TStat TZEL::AutoUpdateGraspingState(bool Enable, uint16_t Period, bool OnChangeOnly) {
    return SetAutoUpdate(GET_GRASPING_STATE, Enable, Period, OnChangeOnly);
}

TStat TZEL::AutoUpdatePosition(bool Enable, uint16_t Period, bool OnChangeOnly) {
    return SetAutoUpdate(GET_POS, Enable, Period, OnChangeOnly);
}

TStat TZEL::AutoUpdateForce(bool Enable, uint16_t Period, bool OnChangeOnly) {
    return SetAutoUpdate(GET_FORCE, Enable, Period, OnChangeOnly);
}

bool TZEL::ReadSystemLimits() {
    TByteArray data;
    TStat status = E_SUCCESS;
    // A short answer would leave limits half-read; the device check fails instead.
    float values[SystemLimitCount];
    if (!ExecuteCommand(GET_SYSTEM_LIMITS, {}, data, status) || !ReadSystemLimitFields(data, values))
        return false;
    float* limits[SystemLimitCount] = {&Stroke,          &MinSpeed, &MaxSpeed,     &MinAcceleration,
                                       &MaxAcceleration, &MinForce, &NominalForce, &OverdriveForce};
    for (int i = 0; i < SystemLimitCount; ++i)
        *limits[i] = values[i];
    return true;
}

bool TZEL::CheckDevice() {
    SystemState = 0;
    GraspingState = 0;
    switch (DeviceType) {
    case 1:
    case 2:
    case 5:
    case 6:
        break;
    default:
        // The window stays disconnected; so must the link, or its port stays taken.
        Disconnect();
        throw std::runtime_error("Connected device is not a ZEL Series Gripper");
    }
    try {
        if (ReadSystemLimits())
            return true;
    } catch (...) {
        FailConnect(StepFailure("system limits", std::current_exception()));
        return false;
    }
    // Limits half read would give the window wrong ranges.
    FailConnect("the answer to the system limits request is incomplete");
    return false;
}

void TZEL::DoDisconnected(TDevice* Sender) {
    SystemState = 0;
    GraspingState = 0;
    TKORADevice::DoDisconnected(Sender);
}

void TZEL::PacketReceived(const TPacket& Packet) {
    TKORADevice::PacketReceived(Packet);
    if (Packet.Payload.size() < 2)
        return;
    DeliverAsyncResult(Packet);
    if (RawStatus(Packet) != E_SUCCESS)
        return;
    DecodeReport(Packet.CommandID, TByteArray(Packet.Payload.begin() + 2, Packet.Payload.end()));
}

void TZEL::DecodeReport(int32_t CommandID, const TByteArray& Data) {
    switch (CommandID) {
    case GET_SYSTEM_STATE: {
        uint32_t state = 0;
        if (!ReadZelUnsigned(GET_SYSTEM_STATE, Data, state)) {
            SystemState = 0;
            return;
        }
        SystemState = state;
        if (OnSystemStateChange)
            OnSystemStateChange(this);
        return;
    }
    case GET_GRASPING_STATE: {
        uint32_t state = 0;
        if (!ReadZelUnsigned(GET_GRASPING_STATE, Data, state)) {
            GraspingState = 0;
            return;
        }
        if (state > 7)
            throw EAssertionFailed("src/zel/ZEL", GraspingStateAssertLine);
        GraspingState = uint8_t(state);
        if (OnGraspingStateChange)
            OnGraspingStateChange(this);
        return;
    }
    case GET_POS:
        if (!ReadZelFloat(GET_POS, Data, Position))
            return;
        if (OnPositionChange)
            OnPositionChange(this);
        return;
    case GET_FORCE:
        if (!ReadZelFloat(GET_FORCE, Data, Force))
            return;
        if (OnForceChange)
            OnForceChange(this);
        return;
    default:
        return;
    }
}

void TZEL::GetCommandName(int32_t CommandID, std::string& Name) const {
    bool found = false;
    Name = TableCommandName(ZelCommandFields(), CommandID, found);
    if (!found)
        TKORADevice::GetCommandName(CommandID, Name);
}
