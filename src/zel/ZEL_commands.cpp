#include "zel/ZEL_commands.h"

const TSysflagDescr SystemStateFlags[19] = {
    {SF_REFERENCED, "Referenced"},
    {SF_MOVING, "Moving"},
    {SF_BLOCKED_MINUS, "Blocked minus"},
    {SF_BLOCKED_PLUS, "Blocked plus"},
    {SF_SOFT_LIMIT_MINUS, "Soft limit minus"},
    {SF_SOFT_LIMIT_PLUS, "Soft limit plus"},
    {SF_AXIS_STOPPED, "Axis stopped"},
    {SF_TARGET_POS_REACHED, "Target pos reached"},
    {SF_OVERDRIVE_MODE, "Overdrive mode"},
    {SF_FORCE_CONTROL_MODE, "Force Control mode"},
    {SF_FAST_STOP, "Fast stop"},
    {SF_TEMPERATURE_WARNING, "Temperature warning"},
    {SF_TEMPERATURE_FAULT, "Temperature fault"},
    {SF_POWER_FAULT, "Power fault"},
    {SF_CURRENT_FAULT, "Current fault"},
    {SF_FINGER_FAULT, "Finger fault"},
    {SF_COMMAND_FAILURE, "Command failure"},
    {SF_SCRIPT_RUNNING, "Script is running"},
    {SF_SCRIPT_FAILURE, "Script failure"},
};

const std::string_view GraspingStateNames[8] = {
    "Idle", "Grasping", "No part", "Part lost", "Holding", "Releasing", "Positioning", "ERROR",
};
