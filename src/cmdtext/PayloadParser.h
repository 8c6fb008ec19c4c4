#pragma once
// The payload syntax of the custom command editor and zelctl: bytes (15, 0x0F, $0F), floats with
// an f suffix (10.4f, stored as IEEE 754 single, little-endian) and double-quoted strings (one
// code page 1252 byte per character, no terminator), separated by spaces.
#include "protocol/Types.h"

#include <QString>
#include <QStringView>

class TPayloadParser {
public:
    // False when any token cannot be read; Bytes is then empty. An empty text is a valid,
    // empty payload. Runs in time linear in the text (the editor parses on every keystroke).
    static bool Parse(const QString& Text, TByteArray& Bytes);
    // One integer token: decimal, or hexadecimal after "0x" or "$"; 0 to 255.
    static bool ParseByte(QStringView Token, uint8_t& Value);
    // One float token without its suffix; a point always works, the locale's separator too.
    static bool ParseFloat(QStringView Token, float& Value);
    // The value of one hexadecimal digit of either case, -1 for any other character.
    static int HexDigit(QChar C);
};
