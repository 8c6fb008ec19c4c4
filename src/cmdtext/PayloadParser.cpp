#include "cmdtext/PayloadParser.h"

#include "platform/Ansi.h"
#include "protocol/convert.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {
// Blanks and control characters, as the editor trims them.
QStringView TrimControls(QStringView Text) {
    qsizetype begin = 0;
    qsizetype end = Text.size();
    while (begin < end && Text[begin].unicode() <= ' ')
        ++begin;
    while (end > begin && Text[end - 1].unicode() <= ' ')
        --end;
    return Text.mid(begin, end - begin);
}

bool IsHexToken(QStringView Token) {
    return Token.startsWith(QLatin1String("0x")) || Token.startsWith(QLatin1Char('$'));
}

bool IsDigit(QChar C) {
    return C.unicode() >= '0' && C.unicode() <= '9';
}

// Digits of Base from Text[At..], at least one, all of the rest; false above 255.
bool ReadDigits(QStringView Text, qsizetype At, int Base, int& Value) {
    if (At >= Text.size())
        return false;
    Value = 0;
    for (qsizetype i = At; i < Text.size(); ++i) {
        const int d = TPayloadParser::HexDigit(Text[i]);
        if (d < 0 || d >= Base)
            return false;
        Value = Value * Base + d;
        if (Value > 255)
            Value = 256; // keeps reading so that a bad digit later still fails the same way
    }
    return true;
}
} // namespace

bool TPayloadParser::ParseByte(QStringView Token, uint8_t& Value) {
    // The first "0x" anywhere stands for "$".
    QString replaced;
    QStringView t = Token;
    const qsizetype x = Token.indexOf(QLatin1String("0x"));
    if (x >= 0) {
        replaced = Token.left(x).toString() + QLatin1Char('$') + Token.mid(x + 2).toString();
        t = replaced;
    }
    int v = 0;
    if (t.startsWith(QLatin1Char('$'))) {
        if (!ReadDigits(t, 1, 16, v))
            return false;
    } else {
        qsizetype at = 0;
        bool negative = false;
        if (!t.isEmpty() && (t[0] == QLatin1Char('+') || t[0] == QLatin1Char('-'))) {
            negative = t[0] == QLatin1Char('-');
            at = 1;
        }
        if (!ReadDigits(t, at, 10, v))
            return false;
        if (negative && v != 0)
            return false;
    }
    if (v > 255)
        return false;
    Value = uint8_t(v);
    return true;
}

bool TPayloadParser::ParseFloat(QStringView Token, float& Value) {
    QString t = Token.toString();
    const QString separator = QLocale::system().decimalPoint();
    if (separator != QLatin1String(".")) {
        const qsizetype at = t.indexOf(separator);
        if (at >= 0)
            t.replace(at, separator.size(), QLatin1String("."));
    }
    // [+-] digits [. digits] [e [+-] digits], with a digit before or after the point.
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        ++i;
    const qsizetype numberStart = i;
    qsizetype digits = 0;
    while (i < n && IsDigit(t[i]))
        ++i, ++digits;
    if (i < n && t[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && IsDigit(t[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    bool negativeExponent = false;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
            negativeExponent = t[i++] == QLatin1Char('-');
        qsizetype expDigits = 0;
        while (i < n && IsDigit(t[i]))
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    // from_chars ignores the process locale, which a Qt program sets from the environment.
    const std::string ascii = t.mid(numberStart).toStdString();
    double v = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (error == std::errc::result_out_of_range) {
        if (!negativeExponent)
            return false;
        v = 0; // too small for a double is zero for a float as well
    } else if (error != std::errc() || end != ascii.data() + ascii.size()) {
        return false;
    }
    if (t[0] == QLatin1Char('-'))
        v = -v;
    // Compared after rounding to single precision, read from the text itself so that the usual
    // spelling of the largest float (3.4028235e38) counts; beyond it the wire would carry infinity.
    if (std::isfinite(v) && std::fabs(v) > double(std::numeric_limits<float>::max())) {
        float f = 0;
        const auto [fend, ferror] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), f);
        if (ferror != std::errc() || fend != ascii.data() + ascii.size() || !std::isfinite(f))
            return false;
        v = t[0] == QLatin1Char('-') ? -double(f) : double(f);
    }
    if (!std::isfinite(v))
        return false;
    Value = float(v);
    return true;
}

bool TPayloadParser::Parse(const QString& Text, TByteArray& Bytes) {
    Bytes.clear();
    TByteArray out;
    out.reserve(size_t(Text.size() / 2));
    // Walks the text with an index instead of cutting it: a 64 KiB payload stays one pass.
    const QString text = Text + QLatin1Char(' ');
    const QStringView all(text);
    const qsizetype n = all.size();
    qsizetype pos = 0;
    while (pos < n) {
        if (all[pos] == QLatin1Char('"')) {
            const qsizetype close = all.indexOf(QLatin1Char('"'), pos + 1);
            if (close < 0)
                return false;
            const TByteArray chars = StringToAnsi(all.mid(pos + 1, close - pos - 1).toString());
            out.insert(out.end(), chars.begin(), chars.end());
            pos = close + 1;
            continue;
        }
        qsizetype space = all.indexOf(QLatin1Char(' '), pos);
        if (space < 0)
            space = n;
        const QStringView token = TrimControls(all.mid(pos, space - pos));
        pos = space + 1;
        if (token.isEmpty())
            continue;
        // Hexadecimal bytes may end in F ("0x0F", "$FF"); with a hex prefix they are bytes, not floats.
        const bool floatSuffix = token.endsWith(QLatin1Char('f')) || token.endsWith(QLatin1Char('F'));
        if (floatSuffix && !IsHexToken(token)) {
            float value = 0;
            if (!ParseFloat(token.chopped(1), value))
                return false;
            uint8_t b[4];
            SingleToBytes(value, b[0], b[1], b[2], b[3]);
            out.insert(out.end(), b, b + 4);
            continue;
        }
        uint8_t value = 0;
        if (!ParseByte(token, value))
            return false;
        out.push_back(value);
    }
    Bytes = std::move(out);
    return true;
}

int TPayloadParser::HexDigit(QChar C) {
    const char16_t u = C.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}
