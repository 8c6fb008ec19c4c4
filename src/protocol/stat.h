#pragma once
// Status codes shared by the device protocol and the console's own layers.
#include "protocol/Types.h"

#include <cstdint>
#include <string>

enum TStat : uint8_t {
    E_SUCCESS = 0,
    E_NOT_AVAILABLE,
    E_NO_SENSOR,
    E_NOT_INITIALIZED,
    E_ALREADY_RUNNING,
    E_FEATURE_NOT_SUPPORTED,
    E_INCONSISTENT_DATA,
    E_TIMEOUT,
    E_READ_ERROR,
    E_WRITE_ERROR,
    E_INSUFFICIENT_RESOURCES,
    E_CHECKSUM_ERROR,
    E_NO_PARAM_EXPECTED,
    E_NOT_ENOUGH_PARAMS,
    E_CMD_UNKNOWN,
    E_CMD_FORMAT_ERROR,
    E_ACCESS_DENIED,
    E_ALREADY_OPEN,
    E_CMD_FAILED,
    E_CMD_ABORTED,
    E_INVALID_HANDLE,
    E_NOT_FOUND,
    E_NOT_OPENED,
    E_IO_ERROR,
    E_INVALID_PARAMETER,
    E_INDEX_OUT_OF_BOUNDS,
    E_CMD_PENDING,
    E_OVERRUN,
    E_RANGE_ERROR,
    E_AXIS_BLOCKED,
    E_ALREADY_CLOSED,
    E_FILE_EXISTS,
    E_HIGHEST_ERRORCODE
};

// Message text of a status; codes without one (2, 32, above 32) give the fallback text.
std::string StatToStr(int Code);

// Enumerator name ("E_CMD_PENDING") for the command log; the decimal number above 32.
std::string StatName(int Code);

// Generic command identifiers common to every device of the family.
enum TGenericCommand : uint8_t {
    LOOP = 0x06,
    ANNOUNCE_DISCONNECT = 0x07,
    RUN_SCRIPT = 0x08,
    TERMINATE_SCRIPT = 0x09,
    CMD_ID_GET_TEMPERATURE = 0x46,
    GET_SYSINFO = 0x50,
    SET_DEVICE_TAG = 0x51,
    GET_DEVICE_TAG = 0x52,
};

extern const TCommandID GenericCommandNames[8];

// "unknown ID(n)" unless a row of Table (scanned in order, first match wins) has the identifier.
std::string LookupCommandName(const TCommandID* Table, size_t Rows, int32_t CommandID, bool& Found);
// The generic table's name of ID, or an empty view.
std::string_view GenericCommandNameOf(int32_t CommandID);
// Name from the generic table, else "unknown ID(n)".
std::string GenericCommandName(int32_t CommandID);
