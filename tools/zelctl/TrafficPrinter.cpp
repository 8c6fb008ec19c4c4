#include "TrafficPrinter.h"

#include "cmdtext/CommLogText.h"
#include "device/KORADevice.h"
#include "taq/TAQ.h"
#include "taq/TAQ_fields.h"
#include "zel/ZEL.h"
#include "zel/ZEL_fields.h"
#include "protocol/convert.h"
#include "protocol/stat.h"

std::string TTrafficPrinter::Fields(const TKORADevice& Device, int32_t ID, bool Received,
                                    const TByteArray& Payload) {
    const TCommandFields* row = qobject_cast<const TTAQ*>(&Device)   ? TaqFields(ID)
                                : qobject_cast<const TZEL*>(&Device) ? ZelFields(ID)
                                                                     : GenericFields(ID);
    return DescribePacketFields(row, Received, Payload);
}

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
    FOut << (Received ? "    received: " : "sent: ") << Describe(Packet, Received, FDevice) << '\n';
    // The fields below, as the console's log shows them with "Decode fields" on.
    TPacket copy = Packet;
    if (Received)
        copy.CommandID |= LogReceivedFlag;
    TLogOptions options;
    options.CommandName = [this](int32_t ID) { return FDevice.CommandName(ID); };
    options.Fields = [this](int32_t ID, bool In, const TByteArray& Payload) {
        return Fields(FDevice, ID, In, Payload);
    };
    FOut << LogFieldsLine(copy, options) << Qt::endl;
}

TTrafficCsv::TTrafficCsv(const QString& Path, const TKORADevice& Device, bool Sensor, TTickSource Clock)
    : FPath(Path), FDevice(Device), FSensor(Sensor), FClock(std::move(Clock)) {}

bool TTrafficCsv::Open() {
    QString why;
    if (!FFile.Create(FPath, why)) {
        FError = QStringLiteral("Cannot write the log file %1: %2").arg(FPath, why);
        return false;
    }
    Write(LogCsvHeader());
    return FError.isEmpty();
}

void TTrafficCsv::Write(const QString& Row) {
    if (!FFile.IsOpen() || !FError.isEmpty())
        return;
    const QByteArray line = Row.toUtf8() + "\r\n";
    QString why;
    if (FFile.Append(line.constData(), size_t(line.size()), why))
        return;
    FFile.Close();
    FError = QStringLiteral("Error while writing the log file %1: %2").arg(FPath, why);
    if (OnFailed)
        OnFailed(FError);
}

void TTrafficCsv::AddPacket(const TPacket& Packet, bool Received) {
    if (!FFile.IsOpen())
        return;
    const uint32_t now = FClock ? FClock() : GetTickCount32();
    if (!FStarted) {
        FStarted = true;
        FOrigin = now;
    }
    TPacket copy = Packet;
    if (Received)
        copy.CommandID |= LogReceivedFlag;
    TLogOptions options;
    options.SensorDevice = FSensor;
    options.CommandName = [this](int32_t ID) { return FDevice.CommandName(ID); };
    options.Fields = [this](int32_t ID, bool In, const TByteArray& Payload) {
        return TTrafficPrinter::Fields(FDevice, ID, In, Payload);
    };
    Write(LogCsvRow(copy, int64_t(TicksSince(FOrigin, now)), options));
}

bool TTrafficCsv::Close() {
    FFile.Close();
    return FError.isEmpty();
}
