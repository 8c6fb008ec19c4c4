#include "cmdtext/CommLogText.h"

#include "platform/Ansi.h"
#include "cmdtext/PayloadParser.h"
#include "protocol/convert.h"
#include "protocol/stat.h"

#include <QIODevice>
#include <QLocale>
#include <QStringList>

#include <cmath>
#include <cstdio>

namespace {
const char HexDigits[] = "0123456789ABCDEF";

void AppendHexByte(QString& S, uint8_t B) {
    S.append(QLatin1Char(' '));
    S.append(QLatin1Char(HexDigits[B >> 4]));
    S.append(QLatin1Char(HexDigits[B & 15]));
}

// " XX" for each byte, written in place: a 4 KiB payload at 5,000 packets/s is 60 MB/s of text.
void AppendHexBytes(QString& S, const uint8_t* Bytes, size_t Count) {
    const qsizetype at = S.size();
    S.resize(at + qsizetype(Count) * 3);
    QChar* out = S.data() + at;
    for (size_t i = 0; i < Count; ++i) {
        *out++ = QLatin1Char(' ');
        *out++ = QLatin1Char(HexDigits[Bytes[i] >> 4]);
        *out++ = QLatin1Char(HexDigits[Bytes[i] & 15]);
    }
}

QString Hex2(uint32_t V) {
    return QString::asprintf("%.2X", unsigned(V & 0xFF));
}

bool IsBlank(QChar C) {
    return C.unicode() <= ' ';
}

// "12.345": whole milliseconds, no rounding through floating point.
QString Seconds(int64_t Ms) {
    if (Ms < 0)
        Ms = 0;
    return QStringLiteral("%1.%2").arg(Ms / 1000).arg(int(Ms % 1000), 3, 10, QLatin1Char('0'));
}

const QString ConvertError = QStringLiteral("Error while converting selected data.");
} // namespace

QString LogStatusText(uint16_t Status) {
    if (Status < 32)
        return QString::fromStdString(StatName(Status));
    return QStringLiteral("unknown error code %1").arg(Status);
}

QString LogPacketDescription(const TPacket& Copy, const TLogOptions& Options) {
    const int32_t id = Copy.CommandID & ~LogReceivedFlag;
    const bool received = (Copy.CommandID & LogReceivedFlag) != 0;
    QString s;
    s.reserve(32 + Copy.Length * 3);
    s.append(QStringLiteral("ID=")).append(Hex2(uint32_t(id))).append(QLatin1Char('h'));
    if (Options.ShowIDDescr && Options.CommandName)
        s.append(QStringLiteral(" (")).append(QString::fromStdString(Options.CommandName(id))).append(')');
    s.append(QStringLiteral(", Length=")).append(QString::number(Copy.Length));
    if (Copy.Length <= 0)
        return s;
    s.append(QLatin1Char(':'));
    const TByteArray& p = Copy.Payload;
    size_t first = 0;
    const bool sensorFrame = Options.SensorDevice && id == 0;
    if (Options.EvaluateErrorCodes && received && p.size() >= 2 && !sensorFrame) {
        AppendHexByte(s, p[0]);
        AppendHexByte(s, p[1]);
        s.append(QStringLiteral(" (")).append(LogStatusText(BytesToWord(p[0], p[1]))).append(')');
        first = 2;
    }
    AppendHexBytes(s, p.data() + first, p.size() - first);
    return s;
}

QString LogPacketText(const TPacket& Copy, const TLogOptions& Options, int64_t TimeMs) {
    const QString time = Options.TimeStamps ? LogTimeText(TimeMs) + QLatin1Char(' ') : QString();
    QString text;
    if (Copy.CommandID & LogReceivedFlag)
        text = time + QStringLiteral("    received: ") + LogPacketDescription(Copy, Options);
    else
        text = QLatin1Char('\n') + time + QStringLiteral("sent: ") + LogPacketDescription(Copy, Options);
    if (Options.DecodeFields && Options.Fields)
        text.append(QLatin1Char('\n')).append(LogFieldsLine(Copy, Options, TimeMs));
    return text;
}

QString LogFieldsLine(const TPacket& Copy, const TLogOptions& Options, int64_t) {
    const int32_t id = Copy.CommandID & ~LogReceivedFlag;
    const bool received = (Copy.CommandID & LogReceivedFlag) != 0;
    // Under the "ID=" of the packet's line.
    const int indent = (Options.TimeStamps ? 11 : 0) + (received ? 14 : 6);
    const QString name = Options.CommandName ? QString::fromStdString(Options.CommandName(id))
                                             : QStringLiteral("ID=") + Hex2(uint32_t(id)) + QLatin1Char('h');
    const std::string fields = Options.Fields ? Options.Fields(id, received, Copy.Payload) : std::string();
    return QString(indent, QLatin1Char(' ')) + name + QStringLiteral(": ") + QString::fromStdString(fields);
}

QString LogTimeText(int64_t TimeMs) {
    return QStringLiteral("+%1 s").arg(Seconds(TimeMs)).rightJustified(10);
}

QString LogCsvHeader() {
    return QStringLiteral("time_s,direction,id,command,length,status,payload,fields");
}

QString LogCsvRow(const TPacket& Copy, int64_t TimeMs, const TLogOptions& Options) {
    const int32_t id = Copy.CommandID & ~LogReceivedFlag;
    const bool received = (Copy.CommandID & LogReceivedFlag) != 0;
    const TByteArray& p = Copy.Payload;
    const bool sensorFrame = Options.SensorDevice && id == 0;
    QString status;
    if (received && p.size() >= 2 && !sensorFrame)
        status = LogStatusText(BytesToWord(p[0], p[1]));
    QString payload;
    AppendHexBytes(payload, p.data(), p.size());
    const QString name = Options.CommandName ? QString::fromStdString(Options.CommandName(id)) : QString();
    const QString fields[] = {Seconds(TimeMs),
                              received ? QStringLiteral("received") : QStringLiteral("sent"),
                              Hex2(uint32_t(id)) + QLatin1Char('h'),
                              name,
                              QString::number(Copy.Length),
                              status,
                              payload.mid(1),
                              Options.Fields ? QString::fromStdString(Options.Fields(id, received, p))
                                             : QString()};
    QStringList row;
    for (const QString& f : fields)
        row << CsvField(f);
    return row.join(QLatin1Char(','));
}

QString CsvField(const QString& Text) {
    bool special = false;
    for (const QChar c : Text)
        special = special || c == u'"' || c == u',' || c == u'\r' || c == u'\n';
    if (!special)
        return Text;
    QString quoted = Text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

int LogPacketLineCount(const TPacket& Copy, const TLogOptions& Options) {
    const int fields = Options.DecodeFields && Options.Fields ? 1 : 0;
    return ((Copy.CommandID & LogReceivedFlag) ? 1 : 2) + fields;
}

bool ParseSelectedBytes(const QString& Selection, TByteArray& Bytes) {
    Bytes.clear();
    TByteArray out;
    qsizetype pos = 0;
    qsizetype end = Selection.size();
    while (end > pos && IsBlank(Selection[end - 1]))
        --end;
    for (;;) {
        while (pos < end && IsBlank(Selection[pos]))
            ++pos;
        if (pos >= end)
            break;
        qsizetype space = Selection.indexOf(QLatin1Char(' '), pos);
        if (space < 0 || space > end)
            space = end;
        if (space == pos)
            return false;
        int value = 0;
        for (qsizetype i = pos; i < space; ++i) {
            const int d = TPayloadParser::HexDigit(Selection[i]);
            if (d < 0)
                return false;
            value = value * 16 + d;
            if (value > 255)
                return false;
        }
        out.push_back(uint8_t(value));
        pos = space + 1;
    }
    if (out.empty())
        return false;
    Bytes = std::move(out);
    return true;
}

QString FormatFloatGeneral4(double Value, QChar DecimalPoint) {
    if (std::isnan(Value))
        return QStringLiteral("NAN");
    if (std::isinf(Value))
        return Value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (Value == 0)
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3e", Value);
    QString mantissa = QString::fromLatin1(buf);
    const qsizetype e = mantissa.indexOf(QLatin1Char('e'));
    const int exponent = mantissa.mid(e + 1).toInt();
    mantissa.truncate(e);
    auto stripZeros = [](QString& S) {
        if (!S.contains(QLatin1Char('.')))
            return;
        while (S.endsWith(QLatin1Char('0')))
            S.chop(1);
        if (S.endsWith(QLatin1Char('.')))
            S.chop(1);
    };
    QString text;
    if (exponent >= 4 || std::fabs(Value) < 0.00001) {
        stripZeros(mantissa);
        text = mantissa + QStringLiteral("E") + (exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
               QStringLiteral("%1").arg(std::abs(exponent), 3, 10, QLatin1Char('0'));
    } else {
        std::snprintf(buf, sizeof buf, "%.*f", 3 - exponent, Value);
        text = QString::fromLatin1(buf);
        stripZeros(text);
    }
    text.replace(QLatin1Char('.'), DecimalPoint);
    return text;
}

TSelectionDecoding DecodeSelectionAsFloat(const QString& Selection) {
    TByteArray b;
    if (!ParseSelectedBytes(Selection, b))
        return {true, ConvertError};
    if (b.size() != 4)
        return {true, QStringLiteral("Error: 4 bytes required to form a float value")};
    const float v = BytesToSingle(b[0], b[1], b[2], b[3]);
    const QString point = QLocale::system().decimalPoint();
    return {false, QStringLiteral("Value is ") +
                       FormatFloatGeneral4(v, point.isEmpty() ? QLatin1Char('.') : point.front())};
}

TSelectionDecoding DecodeSelectionAsInteger(const QString& Selection) {
    TByteArray b;
    if (!ParseSelectedBytes(Selection, b))
        return {true, ConvertError};
    uint32_t v = 0;
    for (size_t i = 0; i < b.size() && i < 4; ++i)
        v |= uint32_t(b[i]) << (8 * i);
    return {false, QStringLiteral("Value is %1 (%2h)").arg(int32_t(v)).arg(QString::asprintf("%.8X", v))};
}

TSelectionDecoding DecodeSelectionAsText(const QString& Selection) {
    TByteArray b;
    if (!ParseSelectedBytes(Selection, b))
        return {true, ConvertError};
    for (uint8_t& c : b)
        if (c < 32)
            c = '_';
    return {false, QStringLiteral("Text string is \"") + AnsiToString(b) + QLatin1Char('"')};
}

namespace {
// One line of In without its line end, in a buffer kept from line to line.
bool ReadLine(QIODevice& In, QByteArray& Line) {
    Line.clear();
    if (In.atEnd())
        return false;
    char buf[4096];
    for (;;) {
        const qint64 n = In.readLine(buf, sizeof buf);
        if (n <= 0)
            break;
        Line.append(buf, n);
        if (buf[n - 1] == '\n')
            break;
    }
    if (Line.endsWith('\n'))
        Line.chop(1);
    return true;
}

// One CSV record from In; a quoted field may run over line ends. False at the end of In.
bool ReadCsvRecord(QIODevice& In, QByteArray& Line, QList<QByteArray>& Fields, qint64& LineNo,
                   bool& Unterminated) {
    Fields.clear();
    Unterminated = false;
    if (!ReadLine(In, Line))
        return false;
    ++LineNo;
    // The usual record has no quotes at all.
    if (!Line.contains('"')) {
        if (Line.endsWith('\r'))
            Line.chop(1);
        qsizetype from = 0;
        for (;;) {
            const qsizetype comma = Line.indexOf(',', from);
            Fields << Line.mid(from, comma < 0 ? -1 : comma - from);
            if (comma < 0)
                return true;
            from = comma + 1;
        }
    }
    QByteArray field;
    bool quoted = false;
    bool started = false;
    for (;;) {
        const bool crlf = Line.endsWith('\r');
        const char* c = Line.constData();
        const qsizetype n = Line.size() - (crlf ? 1 : 0);
        for (qsizetype i = 0; i < n; ++i) {
            if (quoted) {
                if (c[i] != '"')
                    field += c[i];
                else if (i + 1 < n && c[i + 1] == '"')
                    field += c[++i];
                else
                    quoted = false;
            } else if (c[i] == '"' && !started) {
                quoted = started = true;
            } else if (c[i] == ',') {
                Fields << field;
                field.clear();
                started = false;
            } else {
                field += c[i];
                started = true;
            }
        }
        if (!quoted)
            break;
        if (crlf)
            field += '\r';
        if (!ReadLine(In, Line)) {
            Unterminated = true;
            break;
        }
        ++LineNo;
        field += '\n';
    }
    Fields << field;
    return true;
}

bool ReadHexByte(const char* P, uint8_t& B) {
    const int hi = TPayloadParser::HexDigit(QLatin1Char(P[0]));
    const int lo = TPayloadParser::HexDigit(QLatin1Char(P[1]));
    if (hi < 0 || lo < 0)
        return false;
    B = uint8_t(hi * 16 + lo);
    return true;
}

// "12.345" to milliseconds.
bool ReadSeconds(const QByteArray& T, int64_t& Ms) {
    const qsizetype dot = T.indexOf('.');
    if (dot <= 0 || T.size() - dot != 4)
        return false;
    int64_t v = 0;
    for (qsizetype i = 0; i < T.size(); ++i) {
        if (i == dot)
            continue;
        if (T[i] < '0' || T[i] > '9' || v > (int64_t(1) << 50))
            return false;
        v = v * 10 + (T[i] - '0');
    }
    Ms = v;
    return true;
}
} // namespace

bool ParseLogCsv(QIODevice& In, std::vector<TLogRecord>& Records, QString& Error,
                 std::set<std::string>* Names) {
    Records.clear();
    std::vector<TLogRecord> out;
    std::set<QByteArray> names;
    qint64 lineNo = 0;
    QByteArray buffer;
    QList<QByteArray> f;
    bool unterminated = false;
    auto fail = [&](qint64 Line, const QString& What) {
        Error = QStringLiteral("line %1: %2").arg(Line).arg(What);
        return false;
    };
    if (!ReadCsvRecord(In, buffer, f, lineNo, unterminated))
        return fail(1, QStringLiteral("the file is empty"));
    const QList<QByteArray> header = LogCsvHeader().toLatin1().split(',');
    const qsizetype columns = f.size();
    if (columns < header.size() - 1 || columns > header.size() || f != header.mid(0, columns))
        return fail(1,
                    QStringLiteral("not a command log (the first line is not \"%1\")").arg(LogCsvHeader()));
    for (;;) {
        const qint64 line = lineNo + 1;
        if (!ReadCsvRecord(In, buffer, f, lineNo, unterminated))
            break;
        if (unterminated)
            return fail(line, QStringLiteral("a quoted field is not closed"));
        if (f.size() == 1 && f[0].isEmpty() && In.atEnd())
            break;
        if (f.size() != columns)
            return fail(line, QStringLiteral("%1 fields instead of %2").arg(f.size()).arg(columns));
        TLogRecord r;
        if (!ReadSeconds(f[0], r.TimeMs))
            return fail(line, QStringLiteral("the time \"%1\" is not seconds with three decimals")
                                  .arg(QString::fromUtf8(f[0])));
        const bool received = f[1] == "received";
        if (!received && f[1] != "sent")
            return fail(line, QStringLiteral("the direction \"%1\" is neither sent nor received")
                                  .arg(QString::fromUtf8(f[1])));
        uint8_t id = 0;
        if (f[2].size() != 3 || f[2][2] != 'h' || !ReadHexByte(f[2].constData(), id))
            return fail(line, QStringLiteral("the identifier \"%1\" is not two hex digits and h")
                                  .arg(QString::fromUtf8(f[2])));
        bool ok = false;
        const int length = f[4].toInt(&ok);
        if (!ok || length < 0 || length > MaxPayloadLength)
            return fail(line, QStringLiteral("the length \"%1\" is not 0 to %2")
                                  .arg(QString::fromUtf8(f[4]))
                                  .arg(MaxPayloadLength));
        const QByteArray& hex = f[6];
        const bool shape = length == 0 ? hex.isEmpty() : hex.size() == qsizetype(length) * 3 - 1;
        if (!shape)
            return fail(line,
                        QStringLiteral("the payload does not hold the %1 bytes of its length").arg(length));
        r.Copy.Payload.resize(size_t(length));
        for (int i = 0; i < length; ++i) {
            const char* p = hex.constData() + 3 * i;
            if ((i > 0 && p[-1] != ' ') || !ReadHexByte(p, r.Copy.Payload[size_t(i)]))
                return fail(line, QStringLiteral("byte %1 of the payload is not two hex digits").arg(i + 1));
        }
        r.Copy.Length = length;
        r.Copy.CommandID = id | (received ? LogReceivedFlag : 0);
        if (names.size() < 512)
            names.insert(f[3]);
        out.push_back(std::move(r));
    }
    Records = std::move(out);
    if (Names)
        for (const QByteArray& n : names)
            Names->insert(n.toStdString());
    return true;
}
