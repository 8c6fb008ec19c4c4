#include "zel/ZEL_commands.h"

// A row from the flag's name alone: the mask is the enumeration's, the name its identifier.
#define FLAG(Name, Text) {SF_##Name, Text, #Name}

const TSysflagDescr SystemStateFlags[19] = {
    FLAG(REFERENCED, "Referenced"),
    FLAG(MOVING, "Moving"),
    FLAG(BLOCKED_MINUS, "Blocked minus"),
    FLAG(BLOCKED_PLUS, "Blocked plus"),
    FLAG(SOFT_LIMIT_MINUS, "Soft limit minus"),
    FLAG(SOFT_LIMIT_PLUS, "Soft limit plus"),
    FLAG(AXIS_STOPPED, "Axis stopped"),
    FLAG(TARGET_POS_REACHED, "Target pos reached"),
    FLAG(OVERDRIVE_MODE, "Overdrive mode"),
    FLAG(FORCE_CONTROL_MODE, "Force Control mode"),
    FLAG(FAST_STOP, "Fast stop"),
    FLAG(TEMPERATURE_WARNING, "Temperature warning"),
    FLAG(TEMPERATURE_FAULT, "Temperature fault"),
    FLAG(POWER_FAULT, "Power fault"),
    FLAG(CURRENT_FAULT, "Current fault"),
    FLAG(FINGER_FAULT, "Finger fault"),
    FLAG(COMMAND_FAILURE, "Command failure"),
    FLAG(SCRIPT_RUNNING, "Script is running"),
    FLAG(SCRIPT_FAILURE, "Script failure"),
};

#undef FLAG

const std::string_view GraspingStateNames[8] = {
    "Idle", "Grasping", "No part", "Part lost", "Holding", "Releasing", "Positioning", "ERROR",
};
