#include "GatewayUnit.h"

#include "platform/ErrorGuard.h"
#include "GatewayLog.h"

#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {
constexpr uint32_t FastStopFlag = 0x00001000;

int32_t Scaled(float Value, double Factor) {
    const double v = std::nearbyint(double(Value) * Factor);
    if (std::isnan(v))
        return 0;
    return int32_t(std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                              double(std::numeric_limits<int32_t>::max())));
}

const TMapEntry& Entry(const char* Name) {
    const TMapEntry* e = ModbusMap::Find(Name);
    if (e == nullptr)
        throw std::logic_error(std::string("Register not in the map: ") + Name);
    return *e;
}
} // namespace

TGatewayUnit::TGatewayUnit(const TDeviceConfig& Config, TCellDevice* Device, QObject* Parent)
    : QObject(Parent), FName(Config.Name), FUnit(Config.Unit), FKind(Config.Kind), FDevice(Device),
      FImage(modbus_mapping_new(
          ModbusMap::TableSize(TMapTable::Coil), ModbusMap::TableSize(TMapTable::Discrete),
          ModbusMap::TableSize(TMapTable::Holding), ModbusMap::TableSize(TMapTable::Input))) {
    if (FImage == nullptr)
        throw std::bad_alloc();
    SetU16("map_version", ModbusMap::Version);
    SetU16("device_kind", uint16_t(FKind));
    SetU16("stale", 1);
    *Bit(TMapTable::Discrete, "stale_bit") = 1;
    if (FKind == TDeviceKind::Gripper) {
        SetU16("result_status", NoCommandYet);
        SetU16("motion_done", 1);
        *Bit(TMapTable::Discrete, "motion_done_bit") = 1;
    }
    connect(FDevice, &TCellDevice::ValuesChanged, this, Guarded(this, &TGatewayUnit::TakeValues));
    connect(FDevice, &TCellDevice::LinkChanged, this, [this](bool Up) { RunGuarded([&] { TakeLink(Up); }); });
}

TGatewayUnit::~TGatewayUnit() {
    // The device goes first: nothing it still reports may reach a freed image.
    if (FDevice != nullptr && FDevice->parent() == this)
        delete FDevice;
    modbus_mapping_free(FImage);
}

uint16_t* TGatewayUnit::Input(const char* Name) const {
    return FImage->tab_input_registers + Entry(Name).Address;
}

uint16_t* TGatewayUnit::Holding(const char* Name) const {
    return FImage->tab_registers + Entry(Name).Address;
}

uint8_t* TGatewayUnit::Bit(TMapTable Table, const char* Name) const {
    return (Table == TMapTable::Coil ? FImage->tab_bits : FImage->tab_input_bits) + Entry(Name).Address;
}

void TGatewayUnit::SetU16(const char* Name, uint16_t Value) {
    *Input(Name) = Value;
}

// 32-bit values: high word first.
void TGatewayUnit::SetU32(const char* Name, uint32_t Value) {
    uint16_t* r = Input(Name);
    r[0] = uint16_t(Value >> 16);
    r[1] = uint16_t(Value & 0xFFFF);
}

void TGatewayUnit::SetF32(const char* Name, float Value) {
    SetU32(Name, std::bit_cast<uint32_t>(Value));
}

float TGatewayUnit::HoldingF32(const char* Name) const {
    const uint16_t* r = Holding(Name);
    return std::bit_cast<float>(uint32_t(r[0]) << 16 | r[1]);
}

void TGatewayUnit::Refresh() {
    const qint64 age = FDevice->ValuesAge();
    const bool stale = !FDevice->LinkUp() || age < 0 || age > 1000;
    SetU16("stale", stale ? 1 : 0);
    *Bit(TMapTable::Discrete, "stale_bit") = stale ? 1 : 0;
}

void TGatewayUnit::TakeValues() {
    const TCellValues& v = FDevice->Values();
    if (FKind == TDeviceKind::Sensor) {
        SetU32("frame_counter", v.FrameCounter);
        SetU32("frame_total", v.FrameTotal);
        SetU16("frame_maximum", v.FrameMaximum);
        SetF32("centre_x", v.CentreX);
        SetF32("centre_y", v.CentreY);
        SetU16("matrix_width", v.MatrixWidth);
        SetU16("matrix_height", v.MatrixHeight);
        SetU16("frame_active_cells", v.ActiveCells);
        return;
    }
    SetU32("system_state", v.SystemState);
    SetU16("grasping_state", v.GraspingState);
    SetF32("position", v.Position);
    SetF32("force", v.Force);
    SetF32("temperature", v.Temperature);
    SetU32("position_um", uint32_t(Scaled(v.Position, 1000)));
    SetU32("force_mn", uint32_t(Scaled(v.Force, 1000)));
    SetU16("temperature_dc", uint16_t(int16_t(std::clamp(Scaled(v.Temperature, 10), -32768, 32767))));
    *Bit(TMapTable::Discrete, "fast_stopped") = (v.SystemState & FastStopFlag) != 0 ? 1 : 0;
}

void TGatewayUnit::TakeLink(bool Up) {
    SetU16("link_up", Up ? 1 : 0);
    *Bit(TMapTable::Discrete, "link_up_bit") = Up ? 1 : 0;
    Refresh();
}

bool TGatewayUnit::WrittenSequence(const TUnitWrite& Write, uint16_t& Sequence, uint16_t& Command) const {
    if (Write.Table != TMapTable::Holding)
        return false;
    const int seq = Entry("sequence").Address;
    const int cmd = Entry("command").Address;
    const int end = Write.Address + int(Write.Values.size());
    if (seq < Write.Address || seq >= end)
        return false;
    Sequence = Write.Values[size_t(seq - Write.Address)];
    Command = (cmd >= Write.Address && cmd < end) ? Write.Values[size_t(cmd - Write.Address)]
                                                  : FImage->tab_registers[cmd];
    return true;
}

int TGatewayUnit::Check(const TUnitWrite& Write) const {
    if (Write.Table == TMapTable::Coil) {
        bool stops = false;
        for (uint16_t v : Write.Values)
            stops = stops || v != 0;
        if (stops && !FDevice->LinkUp())
            return MODBUS_EXCEPTION_GATEWAY_TARGET;
        return 0;
    }
    uint16_t sequence = 0;
    uint16_t command = 0;
    if (!WrittenSequence(Write, sequence, command) || sequence == FAck)
        return 0;
    if (command < uint16_t(TCellCommand::Move) || command > uint16_t(TCellCommand::FastStopAck))
        return MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
    if (!FDevice->LinkUp())
        return MODBUS_EXCEPTION_GATEWAY_TARGET;
    return 0;
}

void TGatewayUnit::Apply(const TUnitWrite& Write) {
    if (Write.Table == TMapTable::Coil) {
        for (size_t i = 0; i < Write.Values.size(); ++i) {
            const int address = Write.Address + int(i);
            FImage->tab_bits[address] = 0; // a stop is an event, not a state: it reads 0
            if (Write.Values[i] == 0)
                continue;
            FDevice->Stop(address == Entry("fast_stop").Address);
        }
        return;
    }
    uint16_t sequence = 0;
    uint16_t command = 0;
    if (WrittenSequence(Write, sequence, command) && sequence != FAck)
        Start(sequence);
}

void TGatewayUnit::Start(uint16_t Sequence) {
    FAck = Sequence;
    const uint32_t token = ++FToken;
    FFinalSeen = false;
    SetU16("ack_sequence", Sequence);
    SetU16("result_status", E_CMD_PENDING);
    SetU16("motion_done", 0);
    *Bit(TMapTable::Discrete, "motion_done_bit") = 0;
    TCellArguments a;
    a.Position = HoldingF32("target_position");
    a.Speed = HoldingF32("target_speed");
    a.Force = HoldingF32("grasp_force");
    a.HomingDirection = uint8_t(std::min<uint16_t>(*Holding("homing_direction"), 255));
    const auto command = TCellCommand(*Holding("command"));
    FDevice->Run(command, a, [this, token, command](TStat Status, bool Final) {
        Outcome(token, Status, Final);
        if (Final)
            emit CommandEnded(command, Status);
    });
}

void TGatewayUnit::Outcome(uint32_t Token, TStat Status, bool Final) {
    if (Final) {
        if (Status == E_SUCCESS)
            SetU32("motions_completed", ++FCompleted);
        else
            SetU32("motions_failed", ++FFailed);
    }
    // A later command owns the handshake registers; and a final result that overtook the first
    // answer (a stop while that answer was awaited) stays.
    if (Token != FToken || FFinalSeen)
        return;
    FFinalSeen = Final;
    SetU16("result_status", Status);
    if (Final) {
        SetU16("motion_done", 1);
        *Bit(TMapTable::Discrete, "motion_done_bit") = 1;
    }
}
