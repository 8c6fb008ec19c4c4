#pragma once
// Texts the gripper window shows for the gripper's state reports.
#include <cstdint>
#include <string_view>

struct TSysflagDescr {
    uint32_t Mask;
    std::string_view Text;
};

// System state flags with a text, in display order. Bits without a row are shown only in hex.
extern const TSysflagDescr SystemStateFlags[19];

// Indexed by the grasping state (0 to 7).
extern const std::string_view GraspingStateNames[8];
