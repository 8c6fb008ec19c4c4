#include "cmdtext/CustomCmdText.h"

#include "protocol/PacketReceiver.h"
#include "cmdtext/PayloadParser.h"

namespace {
const char HexDigits[] = "0123456789ABCDEF";

QString HexPair(uint8_t Low, uint8_t High) {
    return QString::asprintf("%.2X %.2X", Low, High);
}
} // namespace

TPacketDecoding DecodeCommandPacket(uint8_t CommandID, const TByteArray& Payload) {
    TPacketDecoding d;
    const size_t n = Payload.size();
    d.Id = QString::asprintf("%.2X", CommandID);
    d.Length = HexPair(uint8_t(n & 0xFF), uint8_t((n >> 8) & 0xFF));
    if (n == 0) {
        d.Payload = QStringLiteral("[n/a]");
    } else {
        d.Payload.resize(qsizetype(n * 3));
        QChar* out = d.Payload.data();
        for (uint8_t b : Payload) {
            *out++ = QLatin1Char(HexDigits[b >> 4]);
            *out++ = QLatin1Char(HexDigits[b & 15]);
            *out++ = QLatin1Char(' ');
        }
    }
    // The frame builder's own checksum, so the box shows exactly what goes on the wire.
    if (n <= size_t(MaxPayloadLength)) {
        const TByteArray frame = MakeFrame(CommandID, Payload);
        d.Checksum = HexPair(frame[frame.size() - 2], frame[frame.size() - 1]);
    }
    return d;
}

bool ParseEditorPayload(const QString& Text, TByteArray& Payload) {
    Payload.clear();
    if (Text.size() > PayloadTextLimit)
        return false;
    if (!TPayloadParser::Parse(Text, Payload))
        return false;
    if (Payload.size() > size_t(MaxPayloadLength)) {
        Payload.clear();
        return false;
    }
    return true;
}

QString PayloadSizeText(size_t Count) {
    return QString::number(qulonglong(Count)) + QStringLiteral(" bytes");
}

QString PayloadHelpText() {
    return QStringLiteral(
        "Enter transmit data using the following formats: integer and hex values: '15', "
        "'0x0F' or '$0F', floating point values: '10.4f' or as strings: '\"Hello World\"')");
}

QString PayloadErrorHint() {
    return QStringLiteral("Error while parsing input");
}

QString AsyncResultLine(int32_t CommandID, TStat Status) {
    return QStringLiteral("Async result from command %1h: %2.")
        .arg(QString::asprintf("%.2X", unsigned(CommandID & 0xFF)))
        .arg(QString::fromStdString(StatToStr(Status)));
}
