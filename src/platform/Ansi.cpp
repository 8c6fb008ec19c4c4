#include "platform/Ansi.h"

#include <QList>

namespace {
// Code page 1252 positions 0x80..0x9F. The five unassigned ones keep their C1 code point, as
// Windows does, so that every byte survives a round trip.
constexpr char16_t High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint8_t ToAnsi(char32_t C) {
    if (C < 0x80 || (C >= 0xA0 && C <= 0xFF))
        return uint8_t(C);
    for (int i = 0; i < 32; ++i)
        if (High[i] == C)
            return uint8_t(0x80 + i);
    return '?';
}
} // namespace

QString AnsiToString(const uint8_t* Bytes, size_t Count) {
    QString s;
    s.reserve(qsizetype(Count));
    for (size_t i = 0; i < Count; ++i) {
        const uint8_t b = Bytes[i];
        s.append(QChar(b >= 0x80 && b < 0xA0 ? High[b - 0x80] : char16_t(b)));
    }
    return s;
}

QString AnsiToString(const TByteArray& Bytes) {
    return AnsiToString(Bytes.data(), Bytes.size());
}

TByteArray StringToAnsi(const QString& Text) {
    TByteArray out;
    out.reserve(size_t(Text.size()));
    for (const char32_t c : Text.toUcs4())
        out.push_back(ToAnsi(c));
    return out;
}

QString NonAnsiCharacters(const QString& Text) {
    QString bad;
    for (const char32_t c : Text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (AnsiToString(StringToAnsi(one)) != one && !bad.contains(one))
            bad += one;
    }
    return bad;
}
