#pragma once
// The two-finger gripper: its command identifiers, one operation per gripper command, and the
// decoding of its state reports into properties with change notifications.
#include "device/KORADevice.h"

#include <cstdint>

struct TGraspingStats {
    uint32_t Grasps = 0;
    uint32_t PartsNotFound = 0;
    uint32_t PartsLost = 0;
};

class TZEL : public TKORADevice {
    Q_OBJECT
public:
    // The commands' identifiers; their names and payloads are in ZelCommandFields() (ZEL_fields.h).
    enum : uint8_t {
        HOMING = 0x20,
        MOVE = 0x21,
        STOP = 0x22,
        FAST_STOP = 0x23,
        FAST_STOP_ACK = 0x24,
        GRASP = 0x25,
        RELEASE = 0x26,
        SET_ACCELERATION = 0x30,
        GET_ACCELERATION = 0x31,
        SET_FORCE_LIMIT = 0x32,
        GET_FORCE_LIMIT = 0x33,
        SET_SOFT_LIMITS = 0x34,
        GET_SOFT_LIMITS = 0x35,
        CLEAR_SOFT_LIMITS = 0x36,
        OVERDRIVE_MODE = 0x37,
        TARE = 0x38,
        GET_SYSTEM_STATE = 0x40,
        GET_GRASPING_STATE = 0x41,
        GET_GRASPING_STATS = 0x42,
        GET_POS = 0x43,
        GET_SPEED = 0x44,
        GET_FORCE = 0x45,
        GET_SYSTEM_LIMITS = 0x53,
        FINGER0_GET_CONFIG = 0x60,
        FINGER0_GET_FLAGS = 0x61,
        FINGER0_POWER_CNTL = 0x62,
        FINGER0_GET_DATA = 0x63,
        FINGER1_GET_CONFIG = 0x70,
        FINGER1_GET_FLAGS = 0x71,
        FINGER1_POWER_CNTL = 0x72,
        FINGER1_GET_DATA = 0x73,
    };
    // Byte order of the wire, not of the window's list ("default", "inwards", "outwards").
    enum THomingDirection : uint8_t { HomeDefault = 0, HomeOutwards = 1, HomeInwards = 2 };

    using TKORADevice::TKORADevice;

    // Last reports (reset at every disconnect and device check).
    uint32_t SystemState = 0;
    uint8_t GraspingState = 0;
    float Position = 0;
    float Force = 0;
    // System limits, read once per connection by the device check.
    float Stroke = 0;
    float MinSpeed = 0;
    float MaxSpeed = 0;
    float MinAcceleration = 0;
    float MaxAcceleration = 0;
    float MinForce = 0;
    float NominalForce = 0;
    float OverdriveForce = 0;

    TDeviceNotifyList OnGraspingStateChange;
    TDeviceNotifyList OnSystemStateChange;
    TDeviceNotifyList OnPositionChange;
    TDeviceNotifyList OnForceChange;

    // Asynchronous: E_NOT_OPENED, E_CMD_FAILED or the first status; OnResult gets the final results.
    TStat Homing(uint8_t Direction, TAsyncResultEvent OnResult = {});
    TStat Move(float Position, float Speed, TAsyncResultEvent OnResult = {});
    TStat Grasp(float Width, float Speed, TAsyncResultEvent OnResult = {});
    TStat Release(float Position, float Speed, TAsyncResultEvent OnResult = {});

    // Synchronous: the status, or E_CMD_FAILED when the exchange did not take place. Stop and
    // FastStop are sent also while another exchange waits.
    TStat Stop();
    TStat FastStop();
    TStat FastStopAck();
    TStat SetAcceleration(float Value);
    TStat GetAcceleration(float& Value);
    TStat SetForceLimit(float Value);
    TStat GetForceLimit(float& Value);
    TStat GetGraspingStats(TGraspingStats& Stats, bool Reset);
    TStat SetAutoUpdate(uint8_t CommandID, bool Enable, uint16_t Period, bool OnChangeOnly);
    TStat AutoUpdateSystemState(bool Enable, uint16_t Period, bool OnChangeOnly);
    TStat AutoUpdateGraspingState(bool Enable, uint16_t Period, bool OnChangeOnly);
    TStat AutoUpdatePosition(bool Enable, uint16_t Period, bool OnChangeOnly);
    TStat AutoUpdateForce(bool Enable, uint16_t Period, bool OnChangeOnly);
    bool ReadSystemLimits();

    // Payload encodings, little-endian with IEEE 754 single floats.
    static TByteArray MovePayload(float Position, float Speed);
    static TByteArray TwoFloatPayload(float First, float Second);
    static TByteArray FloatPayload(float Value);
    static TByteArray AutoUpdatePayload(bool Enable, uint16_t Period, bool OnChangeOnly);
    static const TByteArray FastStopAckPayload;

    void DoDisconnected(TDevice* Sender) override;
    void PacketReceived(const TPacket& Packet) override;
    bool CheckDevice() override;
    void GetCommandName(int32_t CommandID, std::string& Name) const override;

private:
    TStat Run(uint8_t CommandID, const TByteArray& Payload);
    TStat RunUrgent(uint8_t CommandID);
    TStat ReadFloat(uint8_t CommandID, float& Value);
    void DecodeReport(int32_t CommandID, const TByteArray& Data);
};
