#pragma once
// The payloads of the family's commands as tables of named fields. The devices read their answers
// through these tables and the command log shows packets with them, so that the two read every
// packet alike. A payload that does not fit its command is named as such, never read.
#include "protocol/Types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TFieldKind : uint8_t {
    U8,
    U16,
    S16,
    U32,
    F32,
    Text,  // the rest of the payload, one character per byte
    Bytes, // the rest of the payload, counted
    Words, // the rest of the payload as 16-bit words, counted
};

struct TFieldDef {
    std::string_view Name;
    TFieldKind Kind;
    std::string_view Unit = {};
    // Non-zero: the value shown is the raw value times Scale, with two decimals.
    double Scale = 0;
    // A symbolic text for the raw value ("Holding", "Referenced, Moving"); shown before the number.
    void (*Names)(std::string& Out, uint32_t Value) = nullptr;
};

class TPayloadLayout {
public:
    TPayloadLayout() = default;
    TPayloadLayout(std::vector<TFieldDef> Fields, bool EmptyToo = false);

    const std::vector<TFieldDef>& Fields() const { return FFields; }
    // Bytes of the fields of fixed size.
    size_t FixedSize() const { return FFixed; }
    // The last field takes the rest of the payload.
    bool Variable() const { return FVariable; }
    // An empty payload is a form of its own (a query without arguments).
    bool EmptyToo() const { return FEmptyToo; }
    bool Fits(size_t Size) const;
    size_t Offset(size_t Field) const { return FOffsets[Field]; }

    // Raw readers of a field; Data must fit the layout.
    uint32_t Unsigned(const uint8_t* Data, size_t Field) const;
    int32_t Signed(const uint8_t* Data, size_t Field) const;
    float Float(const uint8_t* Data, size_t Field) const;
    // The field as a number: floats as read, integers as read and scaled.
    double Number(const uint8_t* Data, size_t Field) const;

    // "position 20.00 mm, speed 50.00 mm/s"; "no fields"; "too short: 5 of 9 bytes".
    std::string Describe(const uint8_t* Data, size_t Size) const;
    // The same, appended to Out (no allocation once Out has grown: a search runs it per packet).
    void AppendDescription(std::string& Out, const uint8_t* Data, size_t Size) const;

private:
    std::vector<TFieldDef> FFields;
    std::vector<size_t> FOffsets;
    size_t FFixed = 0;
    bool FVariable = false;
    bool FEmptyToo = false;
};

// One command of a device: its identifier, its name and the layouts of its payloads. Each device
// keeps all its commands in one such table, which names them and decodes them alike.
struct TCommandFields {
    uint8_t ID;
    std::string_view Name;
    TPayloadLayout Request;
    // The data after the status (the whole payload when NoStatus).
    TPayloadLayout Answer;
    // The device also sends this answer by itself (an automatic update or a frame).
    bool Update = false;
    // The received payload carries no status (the sensor's frame data).
    bool NoStatus = false;
    // False: the device's payloads for this command are not known; they are shown as bytes.
    bool Described = true;
};

// A command known by name only.
TCommandFields NamedCommand(uint8_t ID, std::string_view Name);

// The row of ID in Table with its payload layouts, or null (also for a command known by name only).
const TCommandFields* FindCommandFields(const std::vector<TCommandFields>& Table, int32_t ID);
// The name of ID in Table; Found says whether the table has it (else "unknown ID(n)").
std::string TableCommandName(const std::vector<TCommandFields>& Table, int32_t ID, bool& Found);

// The fields of one logged packet: the request's, or the status and the answer's. A command
// without a row says how many bytes it carries.
std::string DescribePacketFields(const TCommandFields* Row, bool Received, const TByteArray& Payload);
void AppendPacketFields(std::string& Out, const TCommandFields* Row, bool Received,
                        const TByteArray& Payload);

// The commands every device of the family understands.
const std::vector<TCommandFields>& GenericCommandFields();
// The generic row of ID, or null.
const TCommandFields* GenericFields(int32_t ID);

// Formats used by the tables.
std::string FieldNumber(double Value, int Decimals);
void AppendFieldNumber(std::string& Out, double Value, int Decimals);
std::string FieldHex32(uint32_t Value); // "00001000h"
