// The texts of the command editor and the command log, as tables.
#include "cmdtext/CommLogText.h"
#include "CsvReader.h"
#include "cmdtext/CustomCmdText.h"
#include "cmdtext/PayloadParser.h"
#include "protocol/crc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

inline void PrintTo(const QString& S, std::ostream* Os) {
    *Os << '"' << S.toStdString() << '"';
}

namespace {
TByteArray Bytes(std::initializer_list<int> Values) {
    TByteArray b;
    for (int v : Values)
        b.push_back(uint8_t(v));
    return b;
}

TPacket Packet(int32_t ID, const TByteArray& Payload, bool Received) {
    TPacket p;
    p.CommandID = ID | (Received ? LogReceivedFlag : 0);
    p.Length = int32_t(Payload.size());
    p.Payload = Payload;
    return p;
}

// The checksum as the receiver would verify it: over preamble, identifier, length and payload.
QString WireChecksum(uint8_t ID, const TByteArray& Payload) {
    const uint8_t head[6] = {0xAA, 0xAA, 0xAA, ID, uint8_t(Payload.size()), uint8_t(Payload.size() >> 8)};
    uint16_t crc = CrcUpdate(head, 6, CrcStart);
    crc = CrcUpdateLong(Payload.data(), Payload.size(), crc);
    return QString::asprintf("%.2X %.2X", crc & 0xFF, crc >> 8);
}
} // namespace

TEST(CommandEditorText, PayloadTextsDecodeAsTheyGoOnTheWire) {
    struct Row {
        QString Text;
        bool Valid;
        QString Size, Length, Payload;
    };
    const QString max = QStringLiteral("\"") + QString(65535, QLatin1Char('A')) + QStringLiteral("\"");
    const Row rows[] = {
        {QStringLiteral("1 0x02 $03 \"AB\""), true, "5 bytes", "05 00", "01 02 03 41 42 "},
        {QString(), true, "0 bytes", "00 00", "[n/a]"},
        {QStringLiteral("   "), true, "0 bytes", "00 00", "[n/a]"},
        {QStringLiteral("\"Hello World\""), true, "11 bytes", "0B 00", "48 65 6C 6C 6F 20 57 6F 72 6C 64 "},
        {QStringLiteral("0x0F $0F 0xFF 15"), true, "4 bytes", "04 00", "0F 0F FF 0F "},
        {QStringLiteral("10.4f"), true, "4 bytes", "04 00", "66 66 26 41 "},
        {QStringLiteral("-2.5e3F 15f"), true, "8 bytes", "08 00", "00 40 1C C5 00 00 70 41 "},
        {QStringLiteral("7 ").repeated(300), true, "300 bytes", "2C 01", QString()},
        {max, true, "65535 bytes", "FF FF", QString()},
        // The length field has 16 bits: one byte more cannot be framed.
        {max + QStringLiteral(" 1"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("256"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("-1"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("1.5"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("\"open"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("1 2 x"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("0x1G"), false, "0 bytes", QString(), QString()},
        {QStringLiteral("1e39f"), false, "0 bytes", QString(), QString()},
    };
    for (const Row& r : rows) {
        const std::string name = r.Text.left(40).toStdString();
        TByteArray payload{0xEE};
        EXPECT_EQ(ParseEditorPayload(r.Text, payload), r.Valid) << name;
        EXPECT_EQ(PayloadSizeText(payload.size()), r.Size) << name;
        if (!r.Valid) {
            EXPECT_TRUE(payload.empty()) << name;
            continue;
        }
        const TPacketDecoding d = DecodeCommandPacket(0x21, payload);
        EXPECT_EQ(d.Id, "21");
        EXPECT_EQ(d.Length, r.Length) << name;
        if (!r.Payload.isEmpty()) {
            EXPECT_EQ(d.Payload, r.Payload) << name;
        }
        EXPECT_EQ(d.Payload.size(), payload.empty() ? 5 : qsizetype(3 * payload.size())) << name;
        EXPECT_EQ(d.Checksum, WireChecksum(0x21, payload)) << name;
    }
    EXPECT_EQ(DecodeCommandPacket(0xFF, {}).Id, "FF");
}

TEST(CommandEditorText, HintsAndResultLines) {
    EXPECT_EQ(
        PayloadHelpText(),
        "Enter transmit data using the following formats: integer and hex values: '15', '0x0F' or '$0F', "
        "floating point values: '10.4f' or as strings: '\"Hello World\"')");
    EXPECT_EQ(PayloadErrorHint(), "Error while parsing input");
    EXPECT_EQ(AsyncResultLine(0x21, E_SUCCESS), "Async result from command 21h: No error.");
    EXPECT_EQ(AsyncResultLine(0x0A, E_AXIS_BLOCKED),
              "Async result from command 0Ah: " + QString::fromStdString(StatToStr(E_AXIS_BLOCKED)) + ".");
}

TEST(CommLogText, PacketLines) {
    struct Row {
        TPacket P;
        bool Names, Status, Sensor;
        QString Text;
    };
    const TByteArray ten = Bytes({0, 0, 1, 2, 3, 4, 5, 6, 7, 0xAB});
    const Row rows[] = {
        {Packet(0x50, {}, false), false, true, false, "\nsent: ID=50h, Length=0"},
        {Packet(0x50, ten, true), false, true, false,
         "    received: ID=50h, Length=10: 00 00 (E_SUCCESS) 01 02 03 04 05 06 07 AB"},
        {Packet(0x50, ten, true), false, false, false,
         "    received: ID=50h, Length=10: 00 00 01 02 03 04 05 06 07 AB"},
        {Packet(0x21, Bytes({0x1A, 0}), true), false, true, false,
         "    received: ID=21h, Length=2: 1A 00 (E_CMD_PENDING)"},
        {Packet(0x21, Bytes({0x1F, 0}), true), false, true, false,
         "    received: ID=21h, Length=2: 1F 00 (E_FILE_EXISTS)"},
        {Packet(0x21, Bytes({0x20, 0}), true), false, true, false,
         "    received: ID=21h, Length=2: 20 00 (unknown error code 32)"},
        {Packet(0x21, Bytes({0x01, 0x02}), true), false, true, false,
         "    received: ID=21h, Length=2: 01 02 (unknown error code 513)"},
        // One byte is no status; a sent packet never shows one.
        {Packet(0x21, Bytes({0x1A}), true), false, true, false, "    received: ID=21h, Length=1: 1A"},
        {Packet(0x21, Bytes({0x1A, 0}), false), false, true, false, "\nsent: ID=21h, Length=2: 1A 00"},
        // Frame data of the matrix sensor carries no status; its other answers do.
        {Packet(0x00, Bytes({0, 0, 5}), true), false, true, true, "    received: ID=00h, Length=3: 00 00 05"},
        {Packet(0x00, Bytes({0, 0, 5}), true), false, true, false,
         "    received: ID=00h, Length=3: 00 00 (E_SUCCESS) 05"},
        {Packet(0x50, {}, false), true, false, false, "\nsent: ID=50h (GET_SYSINFO), Length=0"},
        {Packet(0x99, Bytes({0x0E, 0}), true), true, true, false,
         "    received: ID=99h (unknown ID(153)), Length=2: 0E 00 (E_CMD_UNKNOWN)"},
    };
    for (const Row& r : rows) {
        TLogOptions o;
        o.ShowIDDescr = r.Names;
        o.EvaluateErrorCodes = r.Status;
        o.SensorDevice = r.Sensor;
        o.CommandName = [](int32_t ID) {
            return ID == 0x50 ? std::string("GET_SYSINFO") : GenericCommandName(ID);
        };
        EXPECT_EQ(LogPacketText(r.P, o), r.Text);
        EXPECT_EQ(LogPacketLineCount(r.P), int(r.Text.count(QLatin1Char('\n')) + 1)) << r.Text.toStdString();
    }
    // Without a device there is no name to show.
    TLogOptions noDevice;
    noDevice.ShowIDDescr = true;
    EXPECT_EQ(LogPacketText(Packet(0x50, {}, true), noDevice), "    received: ID=50h, Length=0");
}

TEST(CommLogText, TimeStampsAndCsvRecords) {
    struct Row {
        TPacket P;
        int64_t Ms;
        bool Sensor;
        QString Line;       // with time stamps on
        QStringList Fields; // of the CSV row
    };
    const Row rows[] = {
        {Packet(0x50, {}, false),
         0,
         false,
         "\n  +0.000 s sent: ID=50h, Length=0",
         {"0.000", "sent", "50h", "GET_SYSINFO", "0", "", ""}},
        {Packet(0x50, Bytes({0, 0, 1, 0xAB}), true),
         12,
         false,
         "  +0.012 s     received: ID=50h, Length=4: 00 00 01 AB",
         {"0.012", "received", "50h", "GET_SYSINFO", "4", "E_SUCCESS", "00 00 01 AB"}},
        // The status column is filled whatever the view shows, but only for received responses.
        {Packet(0x21, Bytes({0x1A, 0}), false),
         999,
         false,
         "\n  +0.999 s sent: ID=21h, Length=2: 1A 00",
         {"0.999", "sent", "21h", "unknown ID(33)", "2", "", "1A 00"}},
        {Packet(0x21, Bytes({0x20, 0}), true),
         12345,
         false,
         " +12.345 s     received: ID=21h, Length=2: 20 00",
         {"12.345", "received", "21h", "unknown ID(33)", "2", "unknown error code 32", "20 00"}},
        {Packet(0x21, Bytes({0x1A}), true),
         60000,
         false,
         " +60.000 s     received: ID=21h, Length=1: 1A",
         {"60.000", "received", "21h", "unknown ID(33)", "1", "", "1A"}},
        {Packet(0x00, Bytes({0, 0, 5}), true),
         1,
         true,
         "  +0.001 s     received: ID=00h, Length=3: 00 00 05",
         {"0.001", "received", "00h", "unknown ID(0)", "3", "", "00 00 05"}},
        // Past the column width the time still reads whole.
        {Packet(0x50, {}, true),
         86400001,
         false,
         "+86400.001 s     received: ID=50h, Length=0",
         {"86400.001", "received", "50h", "GET_SYSINFO", "0", "", ""}},
    };
    QString csv = LogCsvHeader() + "\r\n";
    for (const Row& r : rows) {
        TLogOptions o;
        o.TimeStamps = true;
        o.SensorDevice = r.Sensor;
        o.CommandName = [](int32_t ID) {
            return ID == 0x50 ? std::string("GET_SYSINFO") : GenericCommandName(ID);
        };
        EXPECT_EQ(LogPacketText(r.P, o, r.Ms), r.Line);
        o.TimeStamps = false;
        EXPECT_EQ(LogPacketText(r.P, o, r.Ms), LogPacketText(r.P, o, 0)) << "time stamps off";
        csv += LogCsvRow(r.P, r.Ms, o) + "\r\n";
    }
    QList<QStringList> records;
    ASSERT_TRUE(ReadCsv(csv, records)) << csv.toStdString();
    ASSERT_EQ(records.size(), qsizetype(std::size(rows)) + 1);
    EXPECT_EQ(records[0], (QStringList{"time_s", "direction", "id", "command", "length", "status",
                                       "payload", "fields"}));
    // Without a reader of the device's fields the last column stays empty.
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(records[qsizetype(i) + 1], rows[i].Fields + QStringList{""}) << i;

    // Fields that would break the record are quoted and read back whole.
    const QStringList awkward = {"a,b", "say \"hi\"", "two\r\nlines", "", " padded ", "\""};
    QStringList quoted;
    for (const QString& f : awkward)
        quoted << CsvField(f);
    EXPECT_EQ(quoted,
              (QStringList{"\"a,b\"", "\"say \"\"hi\"\"\"", "\"two\r\nlines\"", "", " padded ", "\"\"\"\""}));
    ASSERT_TRUE(ReadCsv(quoted.join(',') + "\r\n", records));
    EXPECT_EQ(records, QList<QStringList>{awkward});
}

TEST(CommLogText, SelectionDecoding) {
    const QString convert = QStringLiteral("Error while converting selected data.");
    const QString four = QStringLiteral("Error: 4 bytes required to form a float value");
    struct Row {
        QString Selection;
        TSelectionDecoding Float, Integer, Text;
    };
    const Row rows[] = {
        {"00 00 80 3F",
         {false, "Value is 1"},
         {false, "Value is 1065353216 (3F800000h)"},
         {false, "Text string is \"__\u20ac?\""}},
        {"01 02", {true, four}, {false, "Value is 513 (00000201h)"}, {false, "Text string is \"__\""}},
        {"48 69 0A", {true, four}, {false, "Value is 682312 (000A6948h)"}, {false, "Text string is \"Hi_\""}},
        // A blank stays a blank; only control characters become "_".
        {"48 20 69 1F 20",
         {true, four},
         {false, "Value is 526983240 (1F692048h)"},
         {false, "Text string is \"H i_ \""}},
        {" \t 48   69 \r\n",
         {true, four},
         {false, "Value is 26952 (00006948h)"},
         {false, "Text string is \"Hi\""}},
        {"ff ff ff ff 01",
         {true, four},
         {false, "Value is -1 (FFFFFFFFh)"},
         {false, "Text string is \"\u00ff\u00ff\u00ff\u00ff_\""}},
        {"80 E9",
         {true, four},
         {false, "Value is 59776 (0000E980h)"},
         {false, "Text string is \"\u20ac\u00e9\""}},
        {"00 00 C0 7F",
         {false, "Value is NAN"},
         {false, "Value is 2143289344 (7FC00000h)"},
         {false, "Text string is \"__\u00c0\u007f\""}},
        {"100", {true, convert}, {true, convert}, {true, convert}},
        {"ID=50h", {true, convert}, {true, convert}, {true, convert}},
        {"", {true, convert}, {true, convert}, {true, convert}},
        {"3F\n    received: 00", {true, convert}, {true, convert}, {true, convert}},
        {"01\t02", {true, convert}, {true, convert}, {true, convert}},
        {"0x01", {true, convert}, {true, convert}, {true, convert}},
    };
    for (const Row& r : rows) {
        const std::string name = r.Selection.toStdString();
        EXPECT_EQ(DecodeSelectionAsFloat(r.Selection), r.Float)
            << name << " " << DecodeSelectionAsFloat(r.Selection).Text.toStdString();
        EXPECT_EQ(DecodeSelectionAsInteger(r.Selection), r.Integer) << name;
        EXPECT_EQ(DecodeSelectionAsText(r.Selection), r.Text)
            << name << " " << DecodeSelectionAsText(r.Selection).Text.toStdString();
    }
}

TEST(CommLogText, FloatsInGeneralFormatWithFourDigits) {
    const std::pair<double, const char*> rows[] = {
        {1, "1"},
        {33.5, "33.5"},
        {-2.5, "-2.5"},
        {0.1, "0.1"},
        {1234.4, "1234"},
        {9999.4, "9999"},
        {9999.6, "1E+004"},
        {12345.6, "1.235E+004"},
        {-3.4028234663852886e38, "-3.403E+038"},
        {0.000123456, "0.0001235"},
        {0.00001, "0.00001"},
        {0.0000012346, "1.235E-006"},
        {1e-40, "1E-040"},
        {0, "0"},
        {1.0 / 0.0, "INF"},
        {-1.0 / 0.0, "-INF"},
    };
    for (const auto& [value, text] : rows)
        EXPECT_EQ(FormatFloatGeneral4(value, QLatin1Char('.')), text) << value;
    EXPECT_EQ(FormatFloatGeneral4(33.5, QLatin1Char(',')), "33,5");
    EXPECT_EQ(FormatFloatGeneral4(12345.6, QLatin1Char(',')), "1,235E+004");
}

TEST(PayloadParser, LongTextsParseWhole) {
    // Every byte of a maximal payload in each notation, and the bytes of a long quoted text.
    QString hex, dec;
    TByteArray expected;
    for (int i = 0; i < MaxPayloadLength; ++i) {
        hex += QString::asprintf("$%02x ", i & 0xFF);
        dec += QString::number(i & 0xFF) + QLatin1Char(' ');
        expected.push_back(uint8_t(i));
    }
    TByteArray bytes;
    ASSERT_TRUE(TPayloadParser::Parse(hex, bytes));
    EXPECT_EQ(bytes, expected);
    ASSERT_TRUE(TPayloadParser::Parse(dec, bytes));
    EXPECT_EQ(bytes, expected);
    ASSERT_TRUE(TPayloadParser::Parse(QStringLiteral("\"a b  c\" 9"), bytes));
    EXPECT_EQ(bytes, Bytes({'a', ' ', 'b', ' ', ' ', 'c', 9}));
}
