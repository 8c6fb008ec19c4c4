#include "ZEL.h"

#include "convert.h"

const TCommandID TZEL::CommandNames[30] = {
    {"HOMING", 0x20},
    {"MOVE", 0x21},
    {"STOP", 0x22},
    {"FAST_STOP", 0x23},
    {"FAST_STOP_ACK", 0x24},
    {"GRASP", 0x25},
    {"RELEASE", 0x26},
    {"SET_ACCELERATION", 0x30},
    {"GET_ACCELERATION", 0x31},
    {"SET_FORCE_LIMIT", 0x32},
    {"GET_FORCE_LIMIT", 0x33},
    {"SET_SOFT_LIMITS", 0x34},
    {"GET_SOFT_LIMITS", 0x35},
    {"CLEAR_SOFT_LIMITS", 0x36},
    {"OVERDRIVE_MODE", 0x37},
    {"TARE", 0x38},
    {"GET_SYSTEM_STATE", 0x40},
    {"GET_GRASPING_STATE", 0x41},
    {"GET_GRASPING_STATS", 0x42},
    {"GET_POS", 0x43},
    {"GET_SPEED", 0x44},
    {"GET_FORCE", 0x45},
    {"FINGER0_GET_CONFIG", 0x60},
    {"FINGER0_GET_FLAGS", 0x61},
    {"FINGER0_POWER_CNTL", 0x62},
    {"FINGER0_GET_DATA", 0x63},
    {"FINGER1_GET_CONFIG", 0x70},
    {"FINGER1_GET_FLAGS", 0x71},
    {"FINGER1_POWER_CNTL", 0x72},
    {"FINGER1_GET_DATA", 0x73},
};

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

TStat TZEL::Stop() {
    return Run(STOP, {});
}
TStat TZEL::FastStop() {
    return Run(FAST_STOP, {});
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
    if (!ExecuteCommand(CommandID, {}, data, status) || data.size() != 4)
        return E_CMD_FAILED;
    if (status == E_SUCCESS)
        Value = ReadSingle(data.data());
    return status;
}

TStat TZEL::GetGraspingStats(TGraspingStats& Stats, bool Reset) {
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!ExecuteCommand(GET_GRASPING_STATS, {uint8_t(Reset ? 1 : 0)}, data, status) || data.size() != 8)
        return E_CMD_FAILED;
    if (status == E_SUCCESS) {
        Stats.Grasps = ReadLongWord(data.data());
        Stats.PartsNotFound = ReadWord(data.data() + 4);
        Stats.PartsLost = ReadWord(data.data() + 6);
    }
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
    if (!ExecuteCommand(GET_SYSTEM_LIMITS, {}, data, status) || data.size() < 4 * SystemLimitCount)
        return false;
    float* limits[SystemLimitCount] = {&Stroke,          &MinSpeed, &MaxSpeed,     &MinAcceleration,
                                       &MaxAcceleration, &MinForce, &NominalForce, &OverdriveForce};
    for (int i = 0; i < SystemLimitCount; ++i)
        *limits[i] = ReadSingle(data.data() + 4 * i);
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
        throw std::runtime_error("Connected device is not a ZEL Series Gripper");
    }
    try {
        return ReadSystemLimits();
    } catch (...) {
        Disconnect();
        return false;
    }
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
    case GET_SYSTEM_STATE:
        if (Data.size() != 4) {
            SystemState = 0;
            return;
        }
        SystemState = ReadLongWord(Data.data());
        if (OnSystemStateChange)
            OnSystemStateChange(this);
        return;
    case GET_GRASPING_STATE:
        if (Data.size() != 1) {
            GraspingState = 0;
            return;
        }
        if (Data[0] > 7)
            throw EAssertionFailed("src/zel/ZEL", GraspingStateAssertLine);
        GraspingState = Data[0];
        if (OnGraspingStateChange)
            OnGraspingStateChange(this);
        return;
    case GET_POS:
        if (Data.size() != 4)
            return;
        Position = ReadSingle(Data.data());
        if (OnPositionChange)
            OnPositionChange(this);
        return;
    case GET_FORCE:
        if (Data.size() != 4)
            return;
        Force = ReadSingle(Data.data());
        if (OnForceChange)
            OnForceChange(this);
        return;
    default:
        return;
    }
}

void TZEL::GetCommandName(int32_t CommandID, std::string& Name) const {
    bool found = false;
    Name = LookupCommandName(CommandNames, std::size(CommandNames), CommandID, found);
    if (!found)
        TKORADevice::GetCommandName(CommandID, Name);
}
