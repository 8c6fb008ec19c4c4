// Feeds arbitrary text to the link parser and checks what a parsed link promises: its text form
// parses again to the same link, and every number it holds is inside its range.
//
// Input: UTF-8 text.
#include "engine/LinkAddress.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(Data), qsizetype(Size));
    TLinkAddress link;
    QString error;
    if (!ParseLinkAddress(text, link, error)) {
        if (!error.startsWith(QLatin1String("Invalid link '")))
            std::abort();
        return 0;
    }
    if (!error.isEmpty())
        std::abort();
    const auto port = [](int P) { return P >= 1 && P <= 65535; };
    switch (link.Kind) {
    case TLinkAddress::TKind::Tcp:
        if (link.Tcp.Host.isEmpty() || !port(link.Tcp.Port))
            std::abort();
        break;
    case TLinkAddress::TKind::Udp:
        if (link.Udp.Address.isEmpty() || !port(link.Udp.TransmitPort) || !port(link.Udp.ListeningPort))
            std::abort();
        break;
    case TLinkAddress::TKind::Serial:
        if (link.Serial.Port.isEmpty() || link.Serial.Baudrate < 1)
            std::abort();
        break;
    case TLinkAddress::TKind::Can:
        if ((link.Can.Interface.isEmpty() && link.Can.Net < 0) || link.Can.Id < 0 ||
            link.Can.Id > TCANDevice::MaxId)
            std::abort();
        break;
    }
    TLinkAddress again;
    if (!ParseLinkAddress(link.Text(), again, error) || again.Text() != link.Text() ||
        again.Description() != link.Description())
        std::abort();
    return 0;
}
