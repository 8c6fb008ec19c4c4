#include "TAQ_fields.h"

#include "TAQ.h"

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
// Setting commands that TTAQ itself never sends.
constexpr uint8_t ThresholdSet = 0x34;
constexpr uint8_t GainSet = 0x36;
} // namespace

const std::vector<TCommandFields>& TaqCommandFields() {
    static const std::vector<TCommandFields> table = {
        {TTAQ::CMD_ID_FRAME_DATA, TPayloadLayout(), Frame(), true, true},
        {TTAQ::CMD_ID_READ_SINGLE_FRAME, TPayloadLayout(), Frame()},
        {TTAQ::CMD_ID_START_PERIODIC_ACQ, TPayloadLayout(), TPayloadLayout()},
        {TTAQ::CMD_ID_STOP_PERIODIC_ACQ, TPayloadLayout(), TPayloadLayout()},
        {TTAQ::CMD_ID_TARE, TPayloadLayout(), TPayloadLayout()},
        {TTAQ::CMD_ID_MATRIX_INFO, TPayloadLayout(),
         TPayloadLayout({{"cells across", K::U16},
                         {"cells down", K::U16},
                         {"cell width", K::U16, {}, 0.01},
                         {"cell height", K::U16, {}, 0.01},
                         {"value", K::U16}})},
        {ThresholdSet, TPayloadLayout({{"threshold", K::U16}}), TPayloadLayout()},
        {TTAQ::CMD_ID_THRESHOLD_GET, TPayloadLayout(), TPayloadLayout({{"threshold", K::U16}})},
        {GainSet, TPayloadLayout({{"gain", K::U8, "%", GainScale}}), TPayloadLayout()},
        {TTAQ::CMD_ID_GAIN_GET, TPayloadLayout(), TPayloadLayout({{"gain", K::U8, "%", GainScale}})},
        {TTAQ::CMD_ID_TRANSDUCER_TYPE, TPayloadLayout(), TPayloadLayout({{"transducer", K::Text}})},
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
