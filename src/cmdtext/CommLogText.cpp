#include "CommLogText.h"

#include "Ansi.h"
#include "PayloadParser.h"
#include "convert.h"
#include "stat.h"

#include <QLocale>
#include <QRegularExpression>
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
    if (Copy.CommandID & LogReceivedFlag)
        return time + QStringLiteral("    received: ") + LogPacketDescription(Copy, Options);
    return QLatin1Char('\n') + time + QStringLiteral("sent: ") + LogPacketDescription(Copy, Options);
}

QString LogTimeText(int64_t TimeMs) {
    return QStringLiteral("+%1 s").arg(Seconds(TimeMs)).rightJustified(10);
}

QString LogCsvHeader() {
    return QStringLiteral("time_s,direction,id,command,length,status,payload");
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
                              payload.mid(1)};
    QStringList row;
    for (const QString& f : fields)
        row << CsvField(f);
    return row.join(QLatin1Char(','));
}

QString CsvField(const QString& Text) {
    static const QRegularExpression special(QStringLiteral("[\",\r\n]"));
    if (!Text.contains(special))
        return Text;
    QString quoted = Text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

int LogPacketLineCount(const TPacket& Copy) {
    return (Copy.CommandID & LogReceivedFlag) ? 1 : 2;
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
