// Feeds arbitrary text to zel-gateway's configuration reader and checks what it accepts: every
// device with a name, a link and a unit from 1 to 247, no unit twice, ports in range.
//
// Input: the bytes of a configuration file.
#include "GatewayConfig.h"

#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TGatewayConfig config;
    QString error;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(Data), qsizetype(Size));
    if (!ParseGatewayConfig(text, QStringLiteral("fuzz.ini"), config, error)) {
        if (!error.startsWith(QStringLiteral("fuzz.ini")))
            std::abort(); // every refusal names the file (and its line)
        return 0;
    }
    if (config.ListenPort < 0 || config.ListenPort > 65535 || config.MetricsPort < 0 || config.MetricsPort > 65535)
        std::abort();
    std::set<int> units;
    for (const TDeviceConfig& d : config.Devices) {
        if (d.Name.isEmpty() || d.Link.isEmpty() || d.Unit < 1 || d.Unit > 247 || !units.insert(d.Unit).second)
            std::abort();
    }
    return 0;
}
