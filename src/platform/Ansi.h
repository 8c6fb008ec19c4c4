#pragma once
// Windows ANSI (code page 1252) conversions, one byte per character.
#include "protocol/Types.h"

#include <QString>

QString AnsiToString(const TByteArray& Bytes);
QString AnsiToString(const uint8_t* Bytes, size_t Count);
// Characters outside code page 1252 become '?'.
TByteArray StringToAnsi(const QString& Text);
// The characters of Text (each once, in order) that code page 1252 cannot hold.
QString NonAnsiCharacters(const QString& Text);
