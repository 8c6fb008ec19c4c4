#pragma once
// Everything a simulator run can be configured with; the command line fills the same records.
#include <cstdint>
#include <string>

namespace zelsim {

enum class EDeviceKind { Gripper, Sensor };

struct TSysInfo {
    int DeviceType = -1; // -1: the kind's own type (1 for the gripper, 4 for the sensor)
    uint8_t HardwareRevision = 1;
    uint16_t Firmware = 0x1230; // major.minor.patch.rc, one nibble each
    uint32_t SerialNumber = 12345678;
};

struct TGripperLimits {
    float Stroke = 110.0f; // mm
    float MinSpeed = 5.0f; // mm/s
    float MaxSpeed = 420.0f;
    float MinAcceleration = 100.0f; // mm/s²
    float MaxAcceleration = 5000.0f;
    float MinForce = 5.0f; // N
    float NominalForce = 80.0f;
    float OverdriveForce = 120.0f;
};

struct TGripperConfig {
    TGripperLimits Limits;
    float StartPosition = -1.0f; // mm; negative: half the stroke
    bool StartReferenced = false;
    float Acceleration = 1000.0f; // initial value of SET/GET_ACCELERATION
    float ForceLimit = -1.0f;     // initial force limit; negative: the nominal force
    float HomingSpeed = 100.0f;   // mm/s
    bool HasPart = true;
    float PartWidth = 20.0f;          // mm, width of the part between the fingers
    float PartTolerance = 2.0f;       // a grasp finds the part when |nominal - width| <= tolerance
    float ForceRate = 800.0f;         // N/s while the grip tightens
    int LosePartAfterMs = 0;          // > 0: every hold loses its part this long after it began
    int16_t TemperatureWarning = 600; // tenths of a degree; the flag is set at or above it
    int16_t TemperatureFault = 750;
};

struct TSensorConfig {
    uint16_t MatrixWidth = 6;
    uint16_t MatrixHeight = 14;
    uint16_t CellWidth = 340; // hundredths of a millimetre
    uint16_t CellHeight = 340;
    uint16_t FullScale = 4095; // fifth matrix information field: largest cell value
    std::string TransducerType = "piezoresistive";
    uint8_t Gain = 128;
    uint16_t Threshold = 20; // cells below it read 0
    uint16_t Baseline = 30;  // offset on every cell until TARE
    int FramePeriodMs = 50;  // periodic acquisition without an explicit period
    bool RunLength = false;  // coding of frames when the request does not name one
};

// Link faults. Shares are probabilities from 0 to 1, drawn per packet from a seeded generator.
struct TFaultConfig {
    double DropShare = 0;        // packets that are never sent
    double CorruptShare = 0;     // packets sent with a broken checksum
    double WrongLengthShare = 0; // answers whose payload loses its last byte (or gains one when empty)
    double PauseShare = 0;       // packets that stall in the middle of the frame
    int PauseMs = 150;           // length of that stall; the receiver gives up after 100 ms
    int DelayMs = 0;             // every packet leaves this much later (order is kept)
    bool SplitWrites = false;    // one byte per write (per datagram, per CAN frame)
    int GarbageBytes = 0;        // noise before every frame; never contains the preamble byte
    int BurstCount = 0;          // unsolicited state reports after every answer
    int CloseAfter = 0;          // > 0: the link closes (TCP) or falls silent after this many packets
    int FailCommand = -1;        // >= 0: this command is not run, its answer carries FailStatus
                                 // (not a fault of the link: Any() leaves it out)
    uint8_t FailStatus = 0;
    uint32_t Seed = 1;

    bool Any() const {
        return DropShare > 0 || CorruptShare > 0 || WrongLengthShare > 0 || PauseShare > 0 || DelayMs > 0 ||
               SplitWrites || GarbageBytes > 0 || BurstCount > 0 || CloseAfter > 0;
    }
};

struct TSimConfig {
    EDeviceKind Device = EDeviceKind::Gripper;
    TSysInfo SysInfo;
    int16_t Temperature = 312; // tenths of a degree Celsius
    std::string Tag = "zel-sim";
    TGripperConfig Gripper;
    TSensorConfig Sensor;
    TFaultConfig Faults;

    // Links. A port of -1 leaves the link off; 0 binds an ephemeral port.
    std::string BindAddress = "127.0.0.1";
    int TcpPort = -1;
    int UdpPort = -1;
    bool Pty = false;
    std::string PtyLink; // symbolic link to the pseudo-terminal; empty: none
    std::string Can;     // "plugin:interface:id", e.g. "virtualcan:can0:100"; empty: off

    bool Verbose = false;

    uint8_t DeviceType() const {
        if (SysInfo.DeviceType >= 0)
            return uint8_t(SysInfo.DeviceType);
        return Device == EDeviceKind::Sensor ? 4 : 1;
    }
};

} // namespace zelsim
