#pragma once
// One Modbus unit: the register image of one device, kept from its reports, and the command
// handshake (a command runs once when sequence changes; ack_sequence echoes it).
#include "CellDevice.h"
#include "GatewayConfig.h"
#include "ModbusMap.h"

#include <modbus.h>

#include <QObject>

#include <cstdint>
#include <vector>

// A write as the request carries it (registers, or bits as 0/1).
struct TUnitWrite {
    TMapTable Table = TMapTable::Holding;
    int Address = 0;
    std::vector<uint16_t> Values;
};

class TGatewayUnit : public QObject {
    Q_OBJECT
public:
    // Result status before the first command.
    static constexpr uint16_t NoCommandYet = 0;

    TGatewayUnit(const TDeviceConfig& Config, TCellDevice* Device, QObject* Parent);
    ~TGatewayUnit() override;

    int Unit() const { return FUnit; }
    const QString& Name() const { return FName; }
    TMapKinds Kinds() const { return FKind == TDeviceKind::Sensor ? TMapKinds::Sensor : TMapKinds::Gripper; }
    modbus_mapping_t* Image() const { return FImage; }
    TCellDevice* Device() const { return FDevice; }

    // Brings the values whose meaning depends on time (stale) up to date before a read.
    void Refresh();
    // 0 when the write may go ahead, else the Modbus exception code that refuses it.
    int Check(const TUnitWrite& Write) const;
    // Acts on a write that the image has taken.
    void Apply(const TUnitWrite& Write);

signals:
    // A command from a controller has ended with Status.
    void CommandEnded(TCellCommand Command, TStat Status);

private:
    uint16_t* Input(const char* Name) const;
    uint16_t* Holding(const char* Name) const;
    uint8_t* Bit(TMapTable Table, const char* Name) const;
    void SetU16(const char* Name, uint16_t Value);
    void SetU32(const char* Name, uint32_t Value);
    void SetF32(const char* Name, float Value);
    float HoldingF32(const char* Name) const;
    void TakeValues();
    void TakeLink(bool Up);
    void Start(uint16_t Sequence);
    void Outcome(uint32_t Token, TStat Status, bool Final);
    // The sequence value Write leaves, when it writes that register.
    bool WrittenSequence(const TUnitWrite& Write, uint16_t& Sequence, uint16_t& Command) const;

    QString FName;
    int FUnit;
    TDeviceKind FKind;
    TCellDevice* FDevice;
    modbus_mapping_t* FImage;
    uint16_t FAck = 0;
    uint32_t FToken = 0; // the command whose outcome result_status shows
    bool FFinalSeen = false;
    uint32_t FCompleted = 0;
    uint32_t FFailed = 0;
};
