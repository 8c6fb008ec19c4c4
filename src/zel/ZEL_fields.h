#pragma once
// The gripper's commands in one table: identifier, name and payload layouts. TZEL names its
// commands and reads its answers from it, and the command log shows every gripper packet with it.
#include "device/PayloadFields.h"

struct TGraspingStats;

// Every gripper command: its name, its requests and its answers (data after the status).
const std::vector<TCommandFields>& ZelCommandFields();
// The gripper's row of ID, else the generic row, else null.
const TCommandFields* ZelFields(int32_t ID);

// The answer layout of a gripper command (an empty layout for an unknown one).
const TPayloadLayout& ZelAnswer(int32_t ID);

// Shared readers; false (nothing written) when Data does not fit the command's answer.
bool ReadZelFloat(int32_t ID, const TByteArray& Data, float& Value);
bool ReadZelUnsigned(int32_t ID, const TByteArray& Data, uint32_t& Value);
bool ReadGraspingStats(const TByteArray& Data, TGraspingStats& Stats);
// The eight system limits in the order of TZEL's limit fields.
bool ReadSystemLimitFields(const TByteArray& Data, float (&Limits)[8]);

// "Referenced, Fast stop" of a system state; "none" without a named flag.
std::string SystemStateFlagNames(uint32_t State);
