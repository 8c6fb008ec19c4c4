#include "CommLogText.h"

#include "Ansi.h"
#include "convert.h"
#include "stat.h"

#include <QLocale>

#include <cmath>
#include <cstdio>

namespace {
const char HexDigits[] = "0123456789ABCDEF";

void AppendHexByte(QString& S, uint8_t B) {
    S.append(QLatin1Char(' '));
    S.append(QLatin1Char(HexDigits[B >> 4]));
    S.append(QLatin1Char(HexDigits[B & 15]));
}

QString Hex2(uint32_t V) {
    return QString::asprintf("%.2X", unsigned(V & 0xFF));
}

bool IsBlank(QChar C) {
    return C.unicode() <= ' ';
}

int HexValue(QChar C) {
    const char16_t u = C.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
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
    for (size_t i = first; i < p.size(); ++i)
        AppendHexByte(s, p[i]);
    return s;
}

QString LogPacketText(const TPacket& Copy, const TLogOptions& Options) {
    if (Copy.CommandID & LogReceivedFlag)
        return QStringLiteral("    received: ") + LogPacketDescription(Copy, Options);
    return QStringLiteral("\nsent: ") + LogPacketDescription(Copy, Options);
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
            const int d = HexValue(Selection[i]);
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
