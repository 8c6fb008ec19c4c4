#include "protocol/stat.h"

#include <gtest/gtest.h>

TEST(Stat, MessagesAndFallback) {
    EXPECT_EQ(StatToStr(E_SUCCESS), "No error");
    EXPECT_EQ(StatToStr(E_CMD_PENDING), "Command pending...");
    EXPECT_EQ(StatToStr(E_IO_ERROR), "General I/O-Error");
    EXPECT_EQ(StatToStr(E_FILE_EXISTS), "File already exists");
    EXPECT_EQ(StatToStr(2), "Internal error, unknown error code (2)");
    EXPECT_EQ(StatToStr(32), "Internal error, unknown error code (32)");
    EXPECT_EQ(StatToStr(255), "Internal error, unknown error code (255)");
    EXPECT_EQ(StatToStr(4097), "Internal error, unknown error code (4097)");
}

TEST(Stat, NamesForTheLog) {
    EXPECT_EQ(StatName(0), "E_SUCCESS");
    EXPECT_EQ(StatName(2), "E_NO_SENSOR");
    EXPECT_EQ(StatName(26), "E_CMD_PENDING");
    EXPECT_EQ(StatName(32), "E_HIGHEST_ERRORCODE");
    EXPECT_EQ(StatName(33), "33");
}

TEST(Stat, GenericCommandNames) {
    EXPECT_EQ(GenericCommandName(0x50), "GET_SYSINFO");
    EXPECT_EQ(GenericCommandName(0x46), "CMD_ID_GET_TEMPERATURE");
    EXPECT_EQ(GenericCommandName(0x06), "LOOP");
    EXPECT_EQ(GenericCommandName(0x09), "TERMINATE_SCRIPT");
    EXPECT_EQ(GenericCommandName(0x99), "unknown ID(153)");
    // Identifiers compare as whole integers: 0x150 is not GET_SYSINFO.
    EXPECT_EQ(GenericCommandName(0x150), "unknown ID(336)");
}

TEST(Stat, EveryCodeHasItsOwnText) {
    const char* const texts[33] = {
        "No error",
        "Service or data is not available",
        "Internal error, unknown error code (2)",
        "The device is not initialized",
        "The requested service is already running",
        "The asked feature is not supported",
        "One or more dependent parameters mismatch",
        "Timeout error",
        "Error while reading from a device",
        "Error while writing to a device",
        "No memory available",
        "Checksum error",
        "No parameters expected",
        "Not enough parameters",
        "Unknown command",
        "Command format error",
        "Access denied",
        "Interface already open",
        "Command failed",
        "Command aborted",
        "Invalid handle",
        "Device or file not found",
        "Device or file not open",
        "General I/O-Error",
        "Invalid parameter",
        "Index out of bounds",
        "Command pending...",
        "Data overrun",
        "Range error",
        "Axis is blocked",
        "Interface is already closed",
        "File already exists",
        "Internal error, unknown error code (32)",
    };
    for (int code = 0; code < 33; ++code)
        EXPECT_EQ(StatToStr(code), texts[code]) << code;
}
