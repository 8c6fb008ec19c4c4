#include "PayloadParser.h"

#include "Ansi.h"
#include "convert.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstdlib>

namespace {
// Blanks and control characters, as the editor trims them.
QString TrimControls(const QString& Text) {
    qsizetype begin = 0;
    qsizetype end = Text.size();
    while (begin < end && Text[begin].unicode() <= ' ')
        ++begin;
    while (end > begin && Text[end - 1].unicode() <= ' ')
        --end;
    return Text.mid(begin, end - begin);
}

bool IsHexToken(const QString& Token) {
    return Token.startsWith(QLatin1String("0x")) || Token.startsWith(QLatin1Char('$'));
}
} // namespace

bool TPayloadParser::ParseByte(const QString& Token, uint8_t& Value) {
    QString t = Token;
    const qsizetype x = t.indexOf(QLatin1String("0x"));
    if (x >= 0)
        t.replace(x, 2, QLatin1String("$"));
    bool ok = false;
    long long v = 0;
    if (t.startsWith(QLatin1Char('$'))) {
        const QString digits = t.mid(1);
        static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
        if (!hex.match(digits).hasMatch())
            return false;
        v = digits.toLongLong(&ok, 16);
    } else {
        static const QRegularExpression dec(QStringLiteral("^[+-]?[0-9]+$"));
        if (!dec.match(t).hasMatch())
            return false;
        v = t.toLongLong(&ok, 10);
    }
    if (!ok || v < 0 || v > 255)
        return false;
    Value = uint8_t(v);
    return true;
}

bool TPayloadParser::ParseFloat(const QString& Token, float& Value) {
    QString t = Token;
    const QString separator = QLocale::system().decimalPoint();
    if (separator != QLatin1String(".")) {
        const qsizetype at = t.indexOf(separator);
        if (at >= 0)
            t.replace(at, separator.size(), QLatin1String("."));
    }
    static const QRegularExpression real(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (!real.match(t).hasMatch())
        return false;
    const QByteArray ascii = t.toLatin1();
    const double v = std::strtod(ascii.constData(), nullptr);
    // A value beyond single precision would go on the wire as infinity.
    if (!std::isfinite(v) || std::fabs(v) > 3.4028234663852886e38)
        return false;
    Value = float(v);
    return true;
}

bool TPayloadParser::Parse(const QString& Text, TByteArray& Bytes) {
    Bytes.clear();
    TByteArray out;
    QString rest = Text + QLatin1Char(' ');
    while (!rest.isEmpty()) {
        if (rest.front() == QLatin1Char('"')) {
            const qsizetype close = rest.indexOf(QLatin1Char('"'), 1);
            if (close < 0)
                return false;
            const TByteArray text = StringToAnsi(rest.mid(1, close - 1));
            out.insert(out.end(), text.begin(), text.end());
            rest = rest.mid(close + 1);
            continue;
        }
        qsizetype space = rest.indexOf(QLatin1Char(' '));
        if (space < 0)
            space = rest.size();
        const QString token = TrimControls(rest.left(space));
        rest = rest.mid(space + 1);
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
