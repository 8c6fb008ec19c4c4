// The command log's knowledge of its device: command names, field tables and the filter's commands.
#include "ui/CommLogDecoder.h"

#include "cmdtext/CommLogText.h"
#include "device/KORADevice.h"
#include "device/PayloadFields.h"
#include "taq/TAQ.h"
#include "taq/TAQ_fields.h"
#include "zel/ZEL.h"
#include "zel/ZEL_fields.h"

#include <algorithm>

namespace {
std::string KindCommandName(TLogDeviceKind Kind, int32_t ID) {
    bool found = false;
    std::string name;
    if (Kind == TLogDeviceKind::dkGripper)
        name = TableCommandName(ZelCommandFields(), ID, found);
    else if (Kind == TLogDeviceKind::dkSensor)
        name = TableCommandName(TaqCommandFields(), ID, found);
    return found ? name : GenericCommandName(ID);
}
} // namespace

void TCommLogDecoder::SetDevice(TKORADevice* Device) {
    FDevice = Device;
    FSensor = qobject_cast<TTAQ*>(Device) != nullptr;
    FKind = FSensor                       ? TLogDeviceKind::dkSensor
            : qobject_cast<TZEL*>(Device) ? TLogDeviceKind::dkGripper
                                          : TLogDeviceKind::dkGeneric;
}

void TCommLogDecoder::SetOpened(TLogDeviceKind Kind) {
    FOpened = true;
    FKind = Kind;
    FSensor = Kind == TLogDeviceKind::dkSensor;
}

const TCommandFields* TCommLogDecoder::FieldsOf(int32_t ID) const {
    switch (FKind) {
    case TLogDeviceKind::dkGripper:
        return ZelFields(ID);
    case TLogDeviceKind::dkSensor:
        return TaqFields(ID);
    default:
        return GenericFields(ID);
    }
}

TLogOptions TCommLogDecoder::Complete(TLogOptions Lines) const {
    TLogOptions o = std::move(Lines);
    o.SensorDevice = FSensor;
    if (FDevice) {
        const QPointer<TKORADevice> device = FDevice;
        o.CommandName = [device](int32_t ID) { return device ? device->CommandName(ID) : std::string(); };
    } else if (FOpened) {
        const TLogDeviceKind kind = FKind;
        o.CommandName = [kind](int32_t ID) { return KindCommandName(kind, ID); };
    }
    o.Fields = [this](int32_t ID, bool Received, const TByteArray& Payload) {
        return DescribePacketFields(FieldsOf(ID), Received, Payload);
    };
    return o;
}

std::vector<std::pair<int32_t, std::string>> TCommLogDecoder::FilterCommands() const {
    std::vector<std::pair<int32_t, std::string>> rows;
    auto add = [&rows](const std::vector<TCommandFields>& Table) {
        for (const TCommandFields& c : Table)
            rows.emplace_back(c.ID, std::string(c.Name));
    };
    if (FKind == TLogDeviceKind::dkGripper)
        add(ZelCommandFields());
    else if (FKind == TLogDeviceKind::dkSensor)
        add(TaqCommandFields());
    add(GenericCommandFields());
    // Listed by identifier, as the log shows them; the names stay as the tables give them.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& A, const auto& B) { return A.first < B.first; });
    return rows;
}

TLogDeviceKind TCommLogDecoder::KindOfNames(const std::set<std::string>& Names) {
    bool gripper = false;
    for (const std::string& name : Names) {
        for (const TCommandFields& c : TaqCommandFields())
            if (name == c.Name)
                return TLogDeviceKind::dkSensor;
        for (const TCommandFields& c : ZelCommandFields())
            gripper = gripper || name == c.Name;
    }
    return gripper ? TLogDeviceKind::dkGripper : TLogDeviceKind::dkGeneric;
}
