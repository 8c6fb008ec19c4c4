#pragma once
// Texts the gripper window shows for the gripper's state reports.
#include <cstdint>
#include <string_view>

// The system state flags, named once: the texts below, the gripper window and the operations use
// these names.
enum TSystemStateFlag : uint32_t {
    SF_REFERENCED = 0x00000001,
    SF_MOVING = 0x00000002,
    SF_BLOCKED_MINUS = 0x00000004,
    SF_BLOCKED_PLUS = 0x00000008,
    SF_SOFT_LIMIT_MINUS = 0x00000010,
    SF_SOFT_LIMIT_PLUS = 0x00000020,
    SF_AXIS_STOPPED = 0x00000040,
    SF_TARGET_POS_REACHED = 0x00000080,
    SF_OVERDRIVE_MODE = 0x00000100,
    SF_FORCE_CONTROL_MODE = 0x00000200,
    SF_FAST_STOP = 0x00001000,
    SF_TEMPERATURE_WARNING = 0x00002000,
    SF_TEMPERATURE_FAULT = 0x00004000,
    SF_POWER_FAULT = 0x00008000,
    SF_CURRENT_FAULT = 0x00010000,
    SF_FINGER_FAULT = 0x00020000,
    SF_COMMAND_FAILURE = 0x00040000,
    SF_SCRIPT_RUNNING = 0x00080000,
    SF_SCRIPT_FAILURE = 0x00100000,
};

// Blocked, soft limits, fast stop, temperature, power, current and finger faults, command and
// script failure: the flags a window shows so that they stand out when set.
constexpr uint32_t SystemStateFaultFlags = SF_BLOCKED_MINUS | SF_BLOCKED_PLUS | SF_SOFT_LIMIT_MINUS |
                                           SF_SOFT_LIMIT_PLUS | SF_FAST_STOP | SF_TEMPERATURE_FAULT |
                                           SF_POWER_FAULT | SF_CURRENT_FAULT | SF_FINGER_FAULT |
                                           SF_COMMAND_FAILURE | SF_SCRIPT_FAILURE;

// The grasping state shown as an error ("ERROR").
constexpr uint8_t GraspingStateError = 7;

struct TSysflagDescr {
    uint32_t Mask;
    std::string_view Text;
    // The flag's name without its prefix ("FAST_STOP"), as programs name it (Python's SystemState).
    std::string_view Name;
};

// System state flags with a text, in display order. Bits without a row are shown only in hex.
extern const TSysflagDescr SystemStateFlags[19];

// Indexed by the grasping state (0 to 7).
extern const std::string_view GraspingStateNames[8];
