#include "SimCommands.h"

#include "protocol/Types.h"
#include "protocol/stat.h"

#include <cstdio>
#include <iterator>

namespace zelsim {

namespace {
const TCommandID GripperNames[] = {
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
    {"GET_SYSTEM_LIMITS", 0x53},
};

const TCommandID SensorNames[] = {
    {"CMD_ID_FRAME_DATA", 0x00},
    {"CMD_ID_READ_SINGLE_FRAME", 0x20},
    {"CMD_ID_START_PERIODIC_ACQ", 0x21},
    {"CMD_ID_STOP_PERIODIC_ACQ", 0x22},
    {"CMD_ID_TARE", 0x23},
    {"CMD_ID_MATRIX_INFO", 0x30},
    {"CMD_ID_MASK_SET_WINDOW", 0x31},
    {"CMD_ID_MASK_SET", 0x32},
    {"CMD_ID_MASK_GET", 0x33},
    {"CMD_ID_THRESHOLD_SET", 0x34},
    {"CMD_ID_THRESHOLD_GET", 0x35},
    {"CMD_ID_GAIN_SET", 0x36},
    {"CMD_ID_GAIN_GET", 0x37},
    {"CMD_ID_TRANSDUCER_TYPE", 0x38},
};
} // namespace

std::string CommandLabel(EDeviceKind Kind, uint8_t CommandID) {
    bool found = false;
    std::string name = Kind == EDeviceKind::Sensor
                           ? LookupCommandName(SensorNames, std::size(SensorNames), CommandID, found)
                           : LookupCommandName(GripperNames, std::size(GripperNames), CommandID, found);
    if (!found)
        name = LookupCommandName(GenericCommandNames, std::size(GenericCommandNames), CommandID, found);
    if (!found)
        name = "unknown";
    char id[8];
    std::snprintf(id, sizeof id, "(%02Xh)", CommandID);
    return name + id;
}

} // namespace zelsim
