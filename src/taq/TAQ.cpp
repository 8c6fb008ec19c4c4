#include "taq/TAQ.h"

#include "taq/TAQ_fields.h"

#include "platform/Ansi.h"
#include "engine/CommandComponent.h"
#include "protocol/convert.h"
#include "platform/LogCategories.h"

#include <algorithm>
#include <exception>

namespace {
constexpr size_t FrameHeader = 5; // time stamp (4) and coding (1)
constexpr int RunLengthAssertLine = 281;
constexpr int PlainAssertLine = 285;
// Far above any real matrix; a corrupt answer must not make the store allocate gigabytes.
constexpr int64_t MaxCells = int64_t(1) << 20;
} // namespace

TTAQ::TTAQ(QObject* Owner) : TKORADevice(Owner) {}

TTAQ::~TTAQ() {
    try {
        if (IsConnected())
            Disconnect();
    } catch (...) {
        // The device goes away regardless; there is nobody left to tell.
    }
}

bool TTAQ::ApplyMatrixInfo(const TByteArray& Data) {
    TMatrixInfoFields info;
    if (!ReadMatrixInfoFields(Data, info))
        return false;
    const int32_t width = info.Width;
    const int32_t height = info.Height;
    if (int64_t(width) * height > MaxCells)
        return false;
    MatrixWidth = width;
    MatrixHeight = height;
    CellCount = MatrixWidth * MatrixHeight;
    FrameData.SetWidth(MatrixWidth);
    FrameData.SetHeight(MatrixHeight);
    FrameData.Timestamp = 0;
    CellWidth = float(info.CellWidth) * 0.01f;
    CellHeight = float(info.CellHeight) * 0.01f;
    SensorWidth = float(MatrixWidth) * CellWidth;
    SensorHeight = float(MatrixHeight) * CellHeight;
    MatrixInfoValue = info.Value;
    return true;
}

bool TTAQ::ReadMatrixInfo() {
    TByteArray data;
    TStat status = E_SUCCESS;
    return ExecuteCommand(CMD_ID_MATRIX_INFO, {}, data, status) && ApplyMatrixInfo(data);
}

bool TTAQ::ReadTransducerType() {
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    if (!Exchange(CMD_ID_TRANSDUCER_TYPE, {}, data, status, statusOnly))
        return false;
    TransducerType = statusOnly ? QString() : AnsiToString(data);
    return true;
}

bool TTAQ::ReadGain() {
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!ExecuteCommand(CMD_ID_GAIN_GET, {}, data, status))
        return false;
    ReadGainPercent(data, Gain); // Data holds at least one byte (two zeros for a bare status)
    return true;
}

bool TTAQ::ReadThreshold() {
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!ExecuteCommand(CMD_ID_THRESHOLD_GET, {}, data, status) || data.size() < 2)
        return false;
    Threshold = ReadWord(data.data());
    return true;
}

bool TTAQ::CheckDevice() {
    if (DeviceType != DeviceTypeTAQ)
        throw std::runtime_error("Connected device is not a TAQ");
    try {
        return ReadMatrixInfo() && ReadTransducerType() && ReadGain() && ReadThreshold();
    } catch (...) {
        Disconnect();
        return false;
    }
}

void TTAQ::Disconnect() {
    if (IsConnected() && PeriodicAcquisition) {
        PeriodicAcquisition = false;
        try {
            PostCommand(CMD_ID_STOP_PERIODIC_ACQ, {});
        } catch (...) {
            // The link cannot carry the announcement either; close it and report the failure.
            Command()->Disconnect();
            throw;
        }
    }
    TKORADevice::Disconnect();
}

void TTAQ::DoDisconnected(TDevice* Sender) {
    // Kept, the mark would make the next session's Disconnect send a stop nobody asked for.
    PeriodicAcquisition = false;
    TKORADevice::DoDisconnected(Sender);
}

void TTAQ::PacketReceived(const TPacket& Packet) {
    TKORADevice::PacketReceived(Packet);
    if (Packet.Payload.size() < 2)
        return;
    DeliverAsyncResult(Packet);
    TrackAcquisition(Packet);
    if (Packet.CommandID == CMD_ID_FRAME_DATA)
        DecodeFrame(Packet.Payload.data(), Packet.Payload.size());
    else if (Packet.CommandID == CMD_ID_READ_SINGLE_FRAME && RawStatus(Packet) == E_SUCCESS)
        DecodeFrame(Packet.Payload.data() + 2, Packet.Payload.size() - 2);
}

void TTAQ::TrackAcquisition(const TPacket& Packet) {
    const uint16_t status = RawStatus(Packet);
    const bool accepted = status == E_SUCCESS || status == E_CMD_PENDING;
    if (Packet.CommandID == CMD_ID_START_PERIODIC_ACQ && accepted)
        PeriodicAcquisition = true;
    else if (Packet.CommandID == CMD_ID_STOP_PERIODIC_ACQ && accepted)
        PeriodicAcquisition = false;
}

void TTAQ::DecodeFrame(const uint8_t* Frame, size_t Length) {
    if (CellCount == 0)
        return;
    TFrameHeader header;
    if (!ReadFrameHeader(Frame, Length, header)) {
        qCDebug(lcDevice) << "TAQ: frame of" << Length << "bytes rejected";
        return;
    }
    FrameData.Timestamp = header.Timestamp;
    if (header.Coding == CodingRunLength)
        DecodeRunLength(Frame + FrameHeader, (Length - FrameHeader) / 2);
    else
        DecodePlain(Frame + FrameHeader, Length);
    if (OnFrame)
        OnFrame(this);
}

void TTAQ::DecodeRunLength(const uint8_t* Words, size_t WordCount) {
    const int64_t count = FrameData.Count();
    int64_t index = 0;
    for (size_t w = 0; w < WordCount; ++w) {
        const auto value = int16_t(uint16_t(Words[2 * w] | Words[2 * w + 1] << 8)); // read in place
        if (value >= 0) {
            if (index < count)
                FrameData.SetCell(int32_t(index), value);
            ++index;
            continue;
        }
        const int64_t run = -int64_t(value);
        for (int64_t i = index; i < std::min(index + run, count); ++i)
            FrameData.SetCell(int32_t(i), 0);
        index += run;
    }
    if (index != int64_t(MatrixWidth) * MatrixHeight)
        throw EAssertionFailed("src/taq/TAQ", RunLengthAssertLine);
}

void TTAQ::DecodePlain(const uint8_t* Words, size_t Length) {
    if (Length != FrameHeader + 2 * size_t(CellCount))
        throw EAssertionFailed("src/taq/TAQ", PlainAssertLine);
    const int32_t cells = std::min(CellCount, FrameData.Count());
    for (int32_t i = 0; i < cells; ++i) // little-endian words, read in place
        FrameData.SetCell(i, int32_t(Words[2 * size_t(i)]) | int32_t(Words[2 * size_t(i) + 1]) << 8);
}

void TTAQ::GetCommandName(int32_t CommandID, std::string& Name) const {
    bool found = false;
    Name = TableCommandName(TaqCommandFields(), CommandID, found);
    if (!found)
        TKORADevice::GetCommandName(CommandID, Name);
}
