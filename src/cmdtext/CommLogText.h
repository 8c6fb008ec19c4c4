#pragma once
// Texts of the command log: the line of a logged packet and the decoding of selected hex bytes.
#include "protocol/Types.h"

#include <QString>

#include <functional>
#include <set>
#include <vector>
#include <string>

// Marks a received packet in the log's own copy; the low 8 bits are the identifier.
constexpr int32_t LogReceivedFlag = 0x40000000;

struct TLogOptions {
    bool ShowIDDescr = false;
    bool EvaluateErrorCodes = false;
    // Each line starts with the packet's time (LogTimeText).
    bool TimeStamps = false;
    // The device is a matrix sensor, whose identifier 0 carries frame data rather than a status.
    bool SensorDevice = false;
    // The device's name of an identifier; empty while no device is set.
    std::function<std::string(int32_t)> CommandName;
    // Each packet gets a second line with its fields by name (Fields must be set).
    bool DecodeFields = false;
    // The device's reading of a packet's fields ("position 20.00 mm, speed 50.00 mm/s").
    std::function<std::string(int32_t ID, bool Received, const TByteArray& Payload)> Fields;
};

// Enumerator name of a status below 32, "unknown error code %d" otherwise.
QString LogStatusText(uint16_t Status);
// "ID=50h (GET_SYSINFO), Length=10: 00 00 (E_SUCCESS) ..." of a log copy.
QString LogPacketDescription(const TPacket& Copy, const TLogOptions& Options);
// What a packet adds to the view, lines separated by '\n': "    received: ..." for a received
// packet, an empty line and "sent: ..." for a sent one; with time stamps on, its line starts with
// LogTimeText of TimeMs and a space. Decoding fields adds LogFieldsLine below.
QString LogPacketText(const TPacket& Copy, const TLogOptions& Options, int64_t TimeMs = 0);
// Lines of LogPacketText.
int LogPacketLineCount(const TPacket& Copy, const TLogOptions& Options = {});
// "MOVE: position 20.00 mm, speed 50.00 mm/s", indented under the packet's "ID=".
QString LogFieldsLine(const TPacket& Copy, const TLogOptions& Options, int64_t TimeMs = 0);

// Milliseconds since the first logged packet as "+12.345 s", right-aligned to ten characters so
// that the lines of a session stay in columns.
QString LogTimeText(int64_t TimeMs);

// The log as CSV (RFC 4180), the same record in the console and in zelctl. The columns do not
// depend on the view's options: time in seconds since the first logged packet, "sent" or
// "received", identifier ("50h"), command name (empty without a device), payload length, status
// name of a received response (empty otherwise), payload as hex bytes ("00 00 38 01"), the
// packet's decoded fields (empty without a Fields reader).
QString LogCsvHeader();
QString LogCsvRow(const TPacket& Copy, int64_t TimeMs, const TLogOptions& Options);
// Quoted when it holds a comma, a double quote or a line break; inner quotes doubled.
QString CsvField(const QString& Text);

// Hex bytes separated by spaces ("00 00 80 3F"); anything else fails and leaves Bytes empty.
bool ParseSelectedBytes(const QString& Selection, TByteArray& Bytes);

// Result of a decode item: the text of an information box, or of an error box.
struct TSelectionDecoding {
    bool Error = false;
    QString Text;
    bool operator==(const TSelectionDecoding&) const = default;
};
TSelectionDecoding DecodeSelectionAsFloat(const QString& Selection);
TSelectionDecoding DecodeSelectionAsInteger(const QString& Selection);
TSelectionDecoding DecodeSelectionAsText(const QString& Selection);

// General format with 4 significant digits; scientific (at least three exponent digits) above
// 4 integer digits or below 0.00001. DecimalPoint is the locale's separator.
QString FormatFloatGeneral4(double Value, QChar DecimalPoint);

// A logged packet read back from a CSV record.
struct TLogRecord {
    TPacket Copy; // LogReceivedFlag set for a received packet
    int64_t TimeMs = 0;
};
// Reads a CSV written by the log's "Save..." or zelctl --log-csv, a record per line; Names gets
// the command names it holds, each once. On the first malformed line, Error tells its number and
// what is wrong and Records is left empty.
bool ParseLogCsv(class QIODevice& In, std::vector<TLogRecord>& Records, QString& Error,
                 std::set<std::string>* Names = nullptr);
