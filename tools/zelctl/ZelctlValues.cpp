#include "ZelctlValues.h"

#include "device/KORADevice.h"
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"

#include <QByteArray>
#include <QStringList>

#include <charconv>

namespace ZelctlValues {
const QString Mm = QStringLiteral("mm");
const QString MmPerS = QStringLiteral("mm/s");
const QString MmPerS2 = QStringLiteral("mm/s") + QChar(0xB2);
const QString Newton = QStringLiteral("N");

QString Text(const std::string& S) {
    return QString::fromStdString(S);
}

QString FromView(std::string_view Text) {
    return QString::fromUtf8(Text.data(), qsizetype(Text.size()));
}

QString StatText(int Status) {
    return Text(StatToStr(Status));
}

QString Fixed(double Value, int Decimals) {
    return QString::number(Value, 'f', Decimals);
}

QString Hex2(int Value) {
    return QStringLiteral("%1").arg(Value, 2, 16, QLatin1Char('0')).toUpper();
}

QString HexBytes(const TByteArray& Bytes) {
    QStringList parts;
    for (uint8_t b : Bytes)
        parts << Hex2(b);
    return parts.join(QLatin1Char(' '));
}

bool Accepted(TStat Status) {
    return Status == E_SUCCESS || Status == E_CMD_PENDING;
}

QString SystemStateText(uint32_t State) {
    QString text = QStringLiteral("%1").arg(State, 8, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
    QStringList flags;
    for (const TSysflagDescr& f : SystemStateFlags)
        if (State & f.Mask)
            flags << QString::fromUtf8(f.Text.data(), qsizetype(f.Text.size()));
    if (!flags.isEmpty())
        text += QStringLiteral(" (") + flags.join(QStringLiteral(", ")) + QLatin1Char(')');
    return text;
}

QString GraspingStateText(int State) {
    return FromView(GraspingStateNames[State & 7]);
}

double Shortest(float Value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, Value).ptr;
    return QByteArray(text, int(end - text)).toDouble();
}

QJsonObject Quantity(double Value, const QString& Unit) {
    return {{QStringLiteral("value"), Value}, {QStringLiteral("unit"), Unit}};
}

QJsonObject StatusObject(TStat Status) {
    return {{QStringLiteral("code"), int(Status)},
            {QStringLiteral("name"), QString::fromStdString(StatName(Status))},
            {QStringLiteral("text"), StatText(Status)}};
}

QJsonObject GraspingStateObject(int State) {
    return {{QStringLiteral("code"), State}, {QStringLiteral("name"), GraspingStateText(State)}};
}

QJsonObject SystemStateObject(uint32_t State) {
    QJsonArray flags;
    for (const TSysflagDescr& f : SystemStateFlags)
        if (State & f.Mask)
            flags.append(FromView(f.Text));
    return {{QStringLiteral("value"), double(State)}, {QStringLiteral("flags"), flags}};
}

QString CommandName(const TKORADevice& Device, int32_t CommandID) {
    return Text(Device.CommandName(CommandID));
}

QString Refused(const TKORADevice& Device) {
    return StatText(Device.IsConnected() ? E_CMD_FAILED : E_NOT_OPENED);
}
} // namespace ZelctlValues

TZelctlReportListeners::~TZelctlReportListeners() {
    G.OnSystemStateChange.Remove(this);
    G.OnGraspingStateChange.Remove(this);
    G.OnPositionChange.Remove(this);
    G.OnForceChange.Remove(this);
}
