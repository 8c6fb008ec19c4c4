#pragma once
// CAN-bus transport. Until the CAN layer is in place it lists no net and refuses to open.
#include "DeviceComponent.h"

class TCANDevice : public TDevice {
    Q_OBJECT
public:
    explicit TCANDevice(QObject* Owner);
    ~TCANDevice() override;

    void WriteSettings(TIniFile& File, const QString& Section) override;
    TStat OpenFromSettings(TIniFile& File, const QString& Section) override;
    bool IsOpen() override { return false; }
    TStat Open(const QString& PortName) override;
    TStat Close() override { return E_NOT_OPENED; }
    int32_t BytesAvailable() override { return 0; }
    int32_t Read(uint8_t* Buffer, int32_t MaxCount) override;
    TStat Write(const uint8_t* Buffer, int32_t Count) override;
    bool HasPortList() override { return true; }
    void GetPortList(QStringList& List) override;
};
