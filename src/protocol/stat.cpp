#include "protocol/stat.h"

#include <array>
#include <string_view>

namespace {
struct StatRow {
    std::string_view Name;
    std::string_view Message; // empty: no message of its own
};

constexpr std::array<StatRow, 33> Rows = {{
    {"E_SUCCESS", "No error"},
    {"E_NOT_AVAILABLE", "Service or data is not available"},
    {"E_NO_SENSOR", ""},
    {"E_NOT_INITIALIZED", "The device is not initialized"},
    {"E_ALREADY_RUNNING", "The requested service is already running"},
    {"E_FEATURE_NOT_SUPPORTED", "The asked feature is not supported"},
    {"E_INCONSISTENT_DATA", "One or more dependent parameters mismatch"},
    {"E_TIMEOUT", "Timeout error"},
    {"E_READ_ERROR", "Error while reading from a device"},
    {"E_WRITE_ERROR", "Error while writing to a device"},
    {"E_INSUFFICIENT_RESOURCES", "No memory available"},
    {"E_CHECKSUM_ERROR", "Checksum error"},
    {"E_NO_PARAM_EXPECTED", "No parameters expected"},
    {"E_NOT_ENOUGH_PARAMS", "Not enough parameters"},
    {"E_CMD_UNKNOWN", "Unknown command"},
    {"E_CMD_FORMAT_ERROR", "Command format error"},
    {"E_ACCESS_DENIED", "Access denied"},
    {"E_ALREADY_OPEN", "Interface already open"},
    {"E_CMD_FAILED", "Command failed"},
    {"E_CMD_ABORTED", "Command aborted"},
    {"E_INVALID_HANDLE", "Invalid handle"},
    {"E_NOT_FOUND", "Device or file not found"},
    {"E_NOT_OPENED", "Device or file not open"},
    {"E_IO_ERROR", "General I/O-Error"},
    {"E_INVALID_PARAMETER", "Invalid parameter"},
    {"E_INDEX_OUT_OF_BOUNDS", "Index out of bounds"},
    {"E_CMD_PENDING", "Command pending..."},
    {"E_OVERRUN", "Data overrun"},
    {"E_RANGE_ERROR", "Range error"},
    {"E_AXIS_BLOCKED", "Axis is blocked"},
    {"E_ALREADY_CLOSED", "Interface is already closed"},
    {"E_FILE_EXISTS", "File already exists"},
    {"E_HIGHEST_ERRORCODE", ""},
}};
} // namespace

std::string StatToStr(int Code) {
    if (Code >= 0 && Code < int(Rows.size()) && !Rows[Code].Message.empty())
        return std::string(Rows[Code].Message);
    return "Internal error, unknown error code (" + std::to_string(Code) + ")";
}

std::string StatName(int Code) {
    if (Code >= 0 && Code < int(Rows.size()))
        return std::string(Rows[Code].Name);
    return std::to_string(Code);
}

const TCommandID GenericCommandNames[8] = {
    {"LOOP", 0x06},          {"ANNOUNCE_DISCONNECT", 0x07}, {"CMD_ID_GET_TEMPERATURE", 0x46},
    {"GET_SYSINFO", 0x50},   {"SET_DEVICE_TAG", 0x51},      {"GET_DEVICE_TAG", 0x52},
    {"RUN_SCRIPT", 0x08},    {"TERMINATE_SCRIPT", 0x09},
};

std::string LookupCommandName(const TCommandID* Table, size_t Rows, int32_t CommandID, bool& Found) {
    for (size_t i = 0; i < Rows; ++i) {
        if (Table[i].ID == CommandID) {
            Found = true;
            return std::string(Table[i].Name);
        }
    }
    Found = false;
    return "unknown ID(" + std::to_string(CommandID) + ")";
}

std::string_view GenericCommandNameOf(int32_t CommandID) {
    for (const TCommandID& c : GenericCommandNames)
        if (c.ID == CommandID)
            return c.Name;
    return {};
}

std::string GenericCommandName(int32_t CommandID) {
    bool found = false;
    return LookupCommandName(GenericCommandNames, std::size(GenericCommandNames), CommandID, found);
}
