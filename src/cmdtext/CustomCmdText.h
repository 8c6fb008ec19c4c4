#pragma once
// Texts of the custom command editor: the packet as it goes on the wire, the payload size, the
// hints of the payload box and the lines of the results memo.
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <QString>

// The four decoded boxes besides the fixed preamble.
struct TPacketDecoding {
    QString Id;       // "0A"
    QString Length;   // "2C 01": low byte first, as transmitted
    QString Payload;  // "[n/a]" or "01 02 " (a space after every byte)
    QString Checksum; // "xx yy": low byte first, as transmitted
    bool operator==(const TPacketDecoding&) const = default;
};
TPacketDecoding DecodeCommandPacket(uint8_t CommandID, const TByteArray& Payload);

// Longest payload text the editor takes. A token may carry any number of leading zeros, so no
// limit fits every valid payload: a longer text is refused rather than cut into another payload.
constexpr int PayloadTextLimit = 8 * MaxPayloadLength;

// The payload parser plus the frame limit: a payload the 16-bit length cannot carry is invalid,
// and so is a text above PayloadTextLimit.
bool ParseEditorPayload(const QString& Text, TByteArray& Payload);

QString PayloadSizeText(size_t Count); // "5 bytes"
QString PayloadHelpText();
QString PayloadErrorHint();
// "Async result from command 42h: <status text>."
QString AsyncResultLine(int32_t CommandID, TStat Status);
