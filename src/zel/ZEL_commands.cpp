#include "ZEL_commands.h"

const TSysflagDescr SystemStateFlags[19] = {
    {0x00000001, "Referenced"},        {0x00000002, "Moving"},
    {0x00000004, "Blocked minus"},     {0x00000008, "Blocked plus"},
    {0x00000010, "Soft limit minus"},  {0x00000020, "Soft limit plus"},
    {0x00000040, "Axis stopped"},      {0x00000080, "Target pos reached"},
    {0x00000100, "Overdrive mode"},    {0x00000200, "Force Control mode"},
    {0x00001000, "Fast stop"},         {0x00002000, "Temperature warning"},
    {0x00004000, "Temperature fault"}, {0x00008000, "Power fault"},
    {0x00010000, "Current fault"},     {0x00020000, "Finger fault"},
    {0x00040000, "Command failure"},   {0x00080000, "Script is running"},
    {0x00100000, "Script failure"},
};

const std::string_view GraspingStateNames[8] = {
    "Idle", "Grasping", "No part", "Part lost", "Holding", "Releasing", "Positioning", "ERROR",
};
