#pragma once
// Serial (RS-232) transport: 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS
// inactive; the speed is asked for at every Open.
#include "DeviceComponent.h"

#include <QSerialPort>

#include <memory>

class TBaudrateDlg;

class TSerialDevice : public TDevice {
    Q_OBJECT
public:
    // A write fails when the port takes no bytes for this long.
    static constexpr int WriteStallMs = 1000;

    explicit TSerialDevice(QObject* Owner);
    ~TSerialDevice() override;

    void WriteSettings(TIniFile& File, const QString& Section) override;
    TStat OpenFromSettings(TIniFile& File, const QString& Section) override;
    bool IsOpen() override { return FPort->isOpen(); }
    TStat Open(const QString& PortName) override;
    TStat Close() override;
    int32_t BytesAvailable() override;
    int32_t Read(uint8_t* Buffer, int32_t MaxCount) override;
    TStat Write(const uint8_t* Buffer, int32_t Count) override;
    bool HasPortList() override { return true; }
    // The device names of the serial ports that exist (ttyUSB0, ttyS0, ...), busy ones included.
    void GetPortList(QStringList& List) override;
    QString LinkDescription() const override;

    // Built when first asked for (a connect, or a test): most starts never show it.
    TBaudrateDlg* Dialog() const;
    QSerialPort* Port() const { return FPort; }

private:
    TStat OpenPort(const QString& PortName, int Rate);
    void PortError(QSerialPort::SerialPortError Error);

    mutable std::unique_ptr<TBaudrateDlg> FDialog;
    QSerialPort* FPort = nullptr;
    uint32_t FOpenCount = 0; // tells a write that waited whether the port was opened anew
};
