#pragma once
// How zelctl shows what the device tells: statuses, states and quantities in words and as JSON
// values, shared by the device's commands and the checks.
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

class TKORADevice;
class TZEL;

namespace ZelctlValues {
QString Text(const std::string& S);
QString FromView(std::string_view Text);
QString StatText(int Status);
QString Fixed(double Value, int Decimals);
QString Hex2(int Value);
// "01 0A FF"
QString HexBytes(const TByteArray& Bytes);
// Success, or the pending answer of a command whose result comes later.
bool Accepted(TStat Status);
// "00000003h (Referenced, Moving)"
QString SystemStateText(uint32_t State);
QString GraspingStateText(int State);
// The float as the device meant it: 20.1f is 20.1, not 20.100000381.
double Shortest(float Value);

QJsonObject Quantity(double Value, const QString& Unit);
QJsonObject StatusObject(TStat Status);
QJsonObject GraspingStateObject(int State);
QJsonObject SystemStateObject(uint32_t State);

// The command's name as the device names it.
QString CommandName(const TKORADevice& Device, int32_t CommandID);
// Why an exchange did not take place: the link is gone, or the packet could not be sent.
QString Refused(const TKORADevice& Device);

extern const QString Mm;
extern const QString MmPerS;
extern const QString MmPerS2;
extern const QString Newton;
} // namespace ZelctlValues

// Listeners a command adds to the gripper's reports for its own run, taken out again when the
// scope ends; the other listeners of the gripper are left alone.
struct TZelctlReportListeners {
    TZEL& G;
    ~TZelctlReportListeners();
};
