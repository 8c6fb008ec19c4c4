#pragma once
// The matrix sensor's commands in one table: identifier, name and payload layouts. TTAQ names its
// commands and reads its answers and frames from it, and the command log shows every sensor packet
// with it.
#include "device/PayloadFields.h"

// Every sensor command: its name, its requests and its answers (data after the status; frame data has none).
const std::vector<TCommandFields>& TaqCommandFields();
// The sensor's row of ID, else the generic row, else null.
const TCommandFields* TaqFields(int32_t ID);

struct TMatrixInfoFields {
    uint16_t Width = 0, Height = 0, CellWidth = 0, CellHeight = 0, Value = 0;
};
// Exactly ten bytes of matrix information.
bool ReadMatrixInfoFields(const TByteArray& Data, TMatrixInfoFields& Info);

struct TFrameHeader {
    uint32_t Timestamp = 0;
    uint8_t Coding = 0;
};
// The first five bytes of a frame; false when it is shorter.
bool ReadFrameHeader(const uint8_t* Frame, size_t Length, TFrameHeader& Header);
// Gain in percent from the first data byte of the gain answer; false without one.
bool ReadGainPercent(const TByteArray& Data, double& Percent);
