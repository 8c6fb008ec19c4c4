// Feeds arbitrary text to the payload parser and to the parser of selected log bytes, and checks
// what they agree on: a parsed payload decodes to three characters per byte, and that decoding,
// selected in the log, reads back as the same bytes.
//
// Input: UTF-8 text; the first byte also picks the command identifier of the decoding.
#include "cmdtext/CommLogText.h"
#include "cmdtext/CustomCmdText.h"
#include "cmdtext/PayloadParser.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(Data), qsizetype(Size));
    TByteArray payload;
    if (ParseEditorPayload(text, payload)) {
        if (payload.size() > size_t(MaxPayloadLength))
            std::abort();
        const TPacketDecoding d = DecodeCommandPacket(Size > 0 ? Data[0] : 0, payload);
        if (!payload.empty() && size_t(d.Payload.size()) != 3 * payload.size())
            std::abort();
        TByteArray back;
        if (!payload.empty() && (!ParseSelectedBytes(d.Payload, back) || back != payload))
            std::abort();
    } else if (!payload.empty()) {
        std::abort();
    }

    TByteArray selected;
    if (ParseSelectedBytes(text, selected)) {
        if (selected.empty() || selected.size() > Size)
            std::abort();
    } else if (!selected.empty()) {
        std::abort();
    }
    const TSelectionDecoding asFloat = DecodeSelectionAsFloat(text);
    const TSelectionDecoding asInteger = DecodeSelectionAsInteger(text);
    const TSelectionDecoding asText = DecodeSelectionAsText(text);
    if (asInteger.Error != selected.empty() || asText.Error != selected.empty())
        std::abort();
    if (asFloat.Error != (selected.size() != 4))
        std::abort();
    if (Size >= 8) {
        double v;
        std::memcpy(&v, Data, 8);
        if (FormatFloatGeneral4(v, QLatin1Char('.')).isEmpty())
            std::abort();
    }
    return 0;
}
