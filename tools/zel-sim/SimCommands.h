#pragma once
// Command identifiers, state flags and grasping states as the device knows them, and the
// names the verbose log prints.
#include <cstdint>
#include <string>

#include "SimConfig.h"

namespace zelsim {

namespace gripper {
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
};

enum TSystemFlag : uint32_t {
    SF_REFERENCED = 0x00000001,
    SF_MOVING = 0x00000002,
    SF_BLOCKED_MINUS = 0x00000004,
    SF_BLOCKED_PLUS = 0x00000008,
    SF_AXIS_STOPPED = 0x00000040,
    SF_TARGET_POS_REACHED = 0x00000080,
    SF_FAST_STOP = 0x00001000,
    SF_TEMPERATURE_WARNING = 0x00002000,
    SF_TEMPERATURE_FAULT = 0x00004000,
    SF_COMMAND_FAILURE = 0x00040000,
};

enum class EGraspState : uint8_t { Idle, Grasping, NoPart, PartLost, Holding, Releasing, Positioning, Error };
} // namespace gripper

namespace sensor {
enum : uint8_t {
    FRAME_DATA = 0x00,
    READ_SINGLE_FRAME = 0x20,
    START_PERIODIC_ACQ = 0x21,
    STOP_PERIODIC_ACQ = 0x22,
    TARE = 0x23,
    MATRIX_INFO = 0x30,
    MASK_SET_WINDOW = 0x31,
    MASK_SET = 0x32,
    MASK_GET = 0x33,
    THRESHOLD_SET = 0x34,
    THRESHOLD_GET = 0x35,
    GAIN_SET = 0x36,
    GAIN_GET = 0x37,
    TRANSDUCER_TYPE = 0x38,
};
constexpr uint8_t CodingRunLength = 2;
} // namespace sensor

// "MOVE(21h)", or "unknown(99h)" for identifiers the device does not name.
std::string CommandLabel(EDeviceKind Kind, uint8_t CommandID);

} // namespace zelsim
