#include "TrafficPrinter.h"

#include "KORADevice.h"
#include "convert.h"
#include "stat.h"

QString TTrafficPrinter::Describe(const TPacket& Packet, bool Received, const TKORADevice& Device) {
    const int32_t id = Packet.CommandID & 0xFF;
    QString line = QStringLiteral("ID=%1h (%2), Length=%3")
                       .arg(QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper(),
                            QString::fromStdString(Device.CommandName(id)))
                       .arg(Packet.Length);
    if (Packet.Payload.empty())
        return line;
    line += QLatin1Char(':');
    auto hex = [](uint8_t b) { return QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper(); };
    size_t i = 0;
    if (Received && Packet.Payload.size() >= 2) {
        const uint16_t status = ReadWord(Packet.Payload.data());
        line += hex(Packet.Payload[0]) + hex(Packet.Payload[1]);
        line += status < E_HIGHEST_ERRORCODE
                    ? QStringLiteral(" (%1)").arg(QString::fromStdString(StatName(status)))
                    : QStringLiteral(" (unknown error code %1)").arg(status);
        i = 2;
    }
    for (; i < Packet.Payload.size(); ++i)
        line += hex(Packet.Payload[i]);
    return line;
}

void TTrafficPrinter::AddPacket(const TPacket& Packet, bool Received) {
    FOut << (Received ? "    received: " : "sent: ") << Describe(Packet, Received, FDevice) << Qt::endl;
}
