#include "device/PayloadFields.h"

#include "device/KORADevice.h"
#include "protocol/convert.h"
#include "protocol/stat.h"

#include <charconv>
#include <cstdio>

namespace {
size_t KindSize(TFieldKind Kind) {
    switch (Kind) {
    case TFieldKind::U8:
        return 1;
    case TFieldKind::U16:
    case TFieldKind::S16:
        return 2;
    case TFieldKind::U32:
    case TFieldKind::F32:
        return 4;
    default:
        return 0;
    }
}

bool IsRest(TFieldKind Kind) {
    return Kind == TFieldKind::Text || Kind == TFieldKind::Bytes || Kind == TFieldKind::Words;
}

void AppendPlural(std::string& Out, size_t N, const char* One) {
    Out += std::to_string(N);
    Out += ' ';
    Out += One;
    if (N != 1)
        Out += 's';
}

void DeviceTypeName(std::string& Out, uint32_t V) {
    Out += TKORADevice::DeviceTypeToStr(uint8_t(V));
}

void FirmwareText(std::string& Out, uint32_t V) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u rc %u", (V >> 12) & 0xF, (V >> 8) & 0xF, (V >> 4) & 0xF,
                  V & 0xF);
    Out += buf;
}
} // namespace

std::string FieldHex32(uint32_t Value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.8Xh", Value);
    return buf;
}

void AppendFieldNumber(std::string& Out, double Value, int Decimals) {
    // to_chars: no locale and no format string to read, once per field of every packet searched.
    char buf[512];
    const auto [end, error] = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed, Decimals);
    if (error == std::errc())
        Out.append(buf, end);
    else
        Out += std::to_string(Value);
}

std::string FieldNumber(double Value, int Decimals) {
    std::string s;
    AppendFieldNumber(s, Value, Decimals);
    return s;
}

TPayloadLayout::TPayloadLayout(std::vector<TFieldDef> Fields, bool EmptyToo)
    : FFields(std::move(Fields)), FEmptyToo(EmptyToo) {
    for (const TFieldDef& f : FFields) {
        FOffsets.push_back(FFixed);
        FFixed += KindSize(f.Kind);
        FVariable = FVariable || IsRest(f.Kind);
    }
}

bool TPayloadLayout::Fits(size_t Size) const {
    if (Size == 0 && FEmptyToo)
        return true;
    return FVariable ? Size >= FFixed : Size == FFixed;
}

uint32_t TPayloadLayout::Unsigned(const uint8_t* Data, size_t Field) const {
    const uint8_t* p = Data + FOffsets[Field];
    switch (FFields[Field].Kind) {
    case TFieldKind::U8:
        return p[0];
    case TFieldKind::U16:
    case TFieldKind::S16:
        return ReadWord(p);
    case TFieldKind::U32:
    case TFieldKind::F32:
        return ReadLongWord(p);
    default:
        return 0;
    }
}

int32_t TPayloadLayout::Signed(const uint8_t* Data, size_t Field) const {
    const uint32_t raw = Unsigned(Data, Field);
    switch (FFields[Field].Kind) {
    case TFieldKind::S16:
        return int16_t(uint16_t(raw));
    case TFieldKind::U32:
        return int32_t(raw);
    default:
        return int32_t(raw);
    }
}

float TPayloadLayout::Float(const uint8_t* Data, size_t Field) const {
    return ReadSingle(Data + FOffsets[Field]);
}

double TPayloadLayout::Number(const uint8_t* Data, size_t Field) const {
    const TFieldDef& f = FFields[Field];
    double v = 0;
    if (f.Kind == TFieldKind::F32)
        v = Float(Data, Field);
    else if (f.Kind == TFieldKind::S16)
        v = Signed(Data, Field);
    else
        v = Unsigned(Data, Field);
    return f.Scale != 0 ? v * f.Scale : v;
}

std::string TPayloadLayout::Describe(const uint8_t* Data, size_t Size) const {
    std::string s;
    AppendDescription(s, Data, Size);
    return s;
}

void TPayloadLayout::AppendDescription(std::string& Out, const uint8_t* Data, size_t Size) const {
    if (!Fits(Size)) {
        Out += Size < FFixed ? "too short: " : "too long: ";
        Out += std::to_string(Size);
        Out += FVariable ? " of at least " : " of ";
        AppendPlural(Out, FFixed, "byte");
        return;
    }
    if (Size == 0 && ((FFixed == 0 && !FVariable) || FEmptyToo)) {
        Out += "no fields";
        return;
    }
    for (size_t i = 0; i < FFields.size(); ++i) {
        const TFieldDef& f = FFields[i];
        if (i > 0)
            Out += ", ";
        Out += f.Name;
        Out += ' ';
        const size_t at = FOffsets[i];
        if (f.Kind == TFieldKind::Text) {
            Out += '"';
            for (size_t k = at; k < Size; ++k)
                Out += Data[k] < 32 || Data[k] > 126 ? '_' : char(Data[k]);
            Out += '"';
            continue;
        }
        if (f.Kind == TFieldKind::Bytes) {
            AppendPlural(Out, Size - at, "byte");
            continue;
        }
        if (f.Kind == TFieldKind::Words) {
            AppendPlural(Out, (Size - at) / 2, "word");
            if ((Size - at) % 2)
                Out += " and 1 byte";
            continue;
        }
        const uint32_t raw = Unsigned(Data, i);
        if (f.Names) {
            f.Names(Out, raw);
            continue;
        }
        if (f.Kind == TFieldKind::F32)
            AppendFieldNumber(Out, Float(Data, i), 2);
        else if (f.Scale != 0)
            AppendFieldNumber(Out, Number(Data, i), 2);
        else if (f.Kind == TFieldKind::S16)
            Out += std::to_string(Signed(Data, i));
        else
            Out += std::to_string(raw);
        if (!f.Unit.empty()) {
            Out += ' ';
            Out += f.Unit;
        }
    }
}

TCommandFields NamedCommand(uint8_t ID, std::string_view Name) {
    TCommandFields row{ID, Name, TPayloadLayout(), TPayloadLayout()};
    row.Described = false;
    return row;
}

const TCommandFields* FindCommandFields(const std::vector<TCommandFields>& Table, int32_t ID) {
    for (const TCommandFields& row : Table)
        if (row.ID == ID)
            return row.Described ? &row : nullptr;
    return nullptr;
}

std::string TableCommandName(const std::vector<TCommandFields>& Table, int32_t ID, bool& Found) {
    for (const TCommandFields& row : Table) {
        if (row.ID == ID) {
            Found = true;
            return std::string(row.Name);
        }
    }
    Found = false;
    return "unknown ID(" + std::to_string(ID) + ")";
}

std::string DescribePacketFields(const TCommandFields* Row, bool Received, const TByteArray& Payload) {
    std::string s;
    AppendPacketFields(s, Row, Received, Payload);
    return s;
}

void AppendPacketFields(std::string& Out, const TCommandFields* Row, bool Received,
                        const TByteArray& Payload) {
    const uint8_t* p = Payload.data();
    size_t n = Payload.size();
    if (!Received || (Row && Row->NoStatus)) {
        if (Row) {
            (Received ? Row->Answer : Row->Request).AppendDescription(Out, p, n);
        } else if (n == 0) {
            Out += "no fields";
        } else {
            AppendPlural(Out, n, "byte");
            Out += ", fields not known";
        }
        return;
    }
    if (n < 2) {
        Out += "too short for a status: ";
        AppendPlural(Out, n, "byte");
        return;
    }
    const uint16_t status = ReadWord(p);
    if (status < 32) {
        Out += StatName(status);
    } else {
        Out += "unknown error code ";
        Out += std::to_string(status);
    }
    p += 2;
    n -= 2;
    // A failure or a bare acknowledgement carries the status alone.
    if (n == 0)
        return;
    Out += ", ";
    if (Row) {
        Row->Answer.AppendDescription(Out, p, n);
    } else {
        AppendPlural(Out, n, "byte");
        Out += ", fields not known";
    }
}

const std::vector<TCommandFields>& GenericCommandFields() {
    using K = TFieldKind;
    // The names are the protocol's own (GenericCommandNames), which the simulator shares.
    static const std::vector<TCommandFields> table = {
        {LOOP, GenericCommandNameOf(LOOP), TPayloadLayout({{"data", K::Bytes}}),
         TPayloadLayout({{"echo", K::Bytes}})},
        {ANNOUNCE_DISCONNECT, GenericCommandNameOf(ANNOUNCE_DISCONNECT), TPayloadLayout(), TPayloadLayout()},
        {RUN_SCRIPT, GenericCommandNameOf(RUN_SCRIPT), TPayloadLayout({{"script", K::Bytes}}),
         TPayloadLayout({{"data", K::Bytes}})},
        {TERMINATE_SCRIPT, GenericCommandNameOf(TERMINATE_SCRIPT), TPayloadLayout(), TPayloadLayout()},
        {CMD_ID_GET_TEMPERATURE, GenericCommandNameOf(CMD_ID_GET_TEMPERATURE), TPayloadLayout(),
         TPayloadLayout({{"temperature", K::S16, "°C", 0.1}})},
        {GET_SYSINFO, GenericCommandNameOf(GET_SYSINFO), TPayloadLayout(),
         TPayloadLayout({{"device type", K::U8, {}, 0, DeviceTypeName},
                         {"hardware revision", K::U8},
                         {"firmware", K::U16, {}, 0, FirmwareText},
                         {"serial number", K::U32}})},
        {SET_DEVICE_TAG, GenericCommandNameOf(SET_DEVICE_TAG), TPayloadLayout({{"tag", K::Text}}),
         TPayloadLayout()},
        {GET_DEVICE_TAG, GenericCommandNameOf(GET_DEVICE_TAG), TPayloadLayout(),
         TPayloadLayout({{"tag", K::Text}})},
    };
    return table;
}

const TCommandFields* GenericFields(int32_t ID) {
    return FindCommandFields(GenericCommandFields(), ID);
}
