#include "taq/TAQ_fields.h"

#include "taq/TAQ.h"

namespace {
using K = TFieldKind;

void CodingText(std::string& Out, uint32_t V) {
    if (V == TTAQ::CodingRunLength) {
        Out += "run-length";
        return;
    }
    Out += "plain (";
    Out += std::to_string(V);
    Out += ')';
}

TPayloadLayout Frame() {
    return TPayloadLayout({{"time stamp", K::U32}, {"coding", K::U8, {}, 0, CodingText}, {"data", K::Words}});
}

constexpr double GainScale = 100.0 / 255.0;
} // namespace

const std::vector<TCommandFields>& TaqCommandFields() {
    using T = TTAQ;
    // In identifier order; the command log's filter lists them so.
    static const std::vector<TCommandFields> table = {
        {T::CMD_ID_FRAME_DATA, "CMD_ID_FRAME_DATA", TPayloadLayout(), Frame(), true, true},
        {T::CMD_ID_READ_SINGLE_FRAME, "CMD_ID_READ_SINGLE_FRAME", TPayloadLayout(), Frame()},
        {T::CMD_ID_START_PERIODIC_ACQ, "CMD_ID_START_PERIODIC_ACQ", TPayloadLayout(), TPayloadLayout()},
        {T::CMD_ID_STOP_PERIODIC_ACQ, "CMD_ID_STOP_PERIODIC_ACQ", TPayloadLayout(), TPayloadLayout()},
        {T::CMD_ID_TARE, "CMD_ID_TARE", TPayloadLayout(), TPayloadLayout()},
        {T::CMD_ID_MATRIX_INFO, "CMD_ID_MATRIX_INFO", TPayloadLayout(),
         TPayloadLayout({{"cells across", K::U16},
                         {"cells down", K::U16},
                         {"cell width", K::U16, {}, 0.01},
                         {"cell height", K::U16, {}, 0.01},
                         {"value", K::U16}})},
        NamedCommand(T::CMD_ID_MASK_SET_WINDOW, "CMD_ID_MASK_SET_WINDOW"),
        NamedCommand(T::CMD_ID_MASK_SET, "CMD_ID_MASK_SET"),
        NamedCommand(T::CMD_ID_MASK_GET, "CMD_ID_MASK_GET"),
        {T::CMD_ID_THRESHOLD_SET, "CMD_ID_THRESHOLD_SET", TPayloadLayout({{"threshold", K::U16}}),
         TPayloadLayout()},
        {T::CMD_ID_THRESHOLD_GET, "CMD_ID_THRESHOLD_GET", TPayloadLayout(),
         TPayloadLayout({{"threshold", K::U16}})},
        {T::CMD_ID_GAIN_SET, "CMD_ID_GAIN_SET", TPayloadLayout({{"gain", K::U8, "%", GainScale}}),
         TPayloadLayout()},
        {T::CMD_ID_GAIN_GET, "CMD_ID_GAIN_GET", TPayloadLayout(),
         TPayloadLayout({{"gain", K::U8, "%", GainScale}})},
        {T::CMD_ID_TRANSDUCER_TYPE, "CMD_ID_TRANSDUCER_TYPE", TPayloadLayout(),
         TPayloadLayout({{"transducer", K::Text}})},
    };
    return table;
}

const TCommandFields* TaqFields(int32_t ID) {
    if (const TCommandFields* row = FindCommandFields(TaqCommandFields(), ID))
        return row;
    return GenericFields(ID);
}

bool ReadMatrixInfoFields(const TByteArray& Data, TMatrixInfoFields& Info) {
    const TPayloadLayout& l = TaqFields(TTAQ::CMD_ID_MATRIX_INFO)->Answer;
    if (!l.Fits(Data.size()))
        return false;
    const uint8_t* d = Data.data();
    Info = {uint16_t(l.Unsigned(d, 0)), uint16_t(l.Unsigned(d, 1)), uint16_t(l.Unsigned(d, 2)),
            uint16_t(l.Unsigned(d, 3)), uint16_t(l.Unsigned(d, 4))};
    return true;
}

bool ReadFrameHeader(const uint8_t* Frame, size_t Length, TFrameHeader& Header) {
    const TPayloadLayout& l = TaqFields(TTAQ::CMD_ID_FRAME_DATA)->Answer;
    if (!l.Fits(Length))
        return false;
    Header.Timestamp = l.Unsigned(Frame, 0);
    Header.Coding = uint8_t(l.Unsigned(Frame, 1));
    return true;
}

bool ReadGainPercent(const TByteArray& Data, double& Percent) {
    // The sensor's answer carries one byte; the device has always read the first of any.
    const TPayloadLayout& l = TaqFields(TTAQ::CMD_ID_GAIN_GET)->Answer;
    if (Data.empty())
        return false;
    Percent = l.Unsigned(Data.data(), 0) / 255.0 * 100.0;
    return true;
}
