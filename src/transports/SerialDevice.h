#pragma once
// Serial (RS-232) transport: 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS
// inactive; the speed is asked for at every Open.
#include "transports/DeviceComponent.h"

#include <QSerialPort>

#include <memory>

// Port name as QSerialPortInfo lists it (or a path) and speed in bit/s.
struct TSerialSettings {
    QString Port;
    int Baudrate = 9600;
    bool operator==(const TSerialSettings&) const = default;
};

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

    using TQuestion = TOperatorQuestion<TSerialDevice, TSerialSettings>;
    static TQuestion& AskOperator();
    // The last port and speed from uart.cfg (9600 bit/s when absent).
    TSerialSettings StoredSettings() const;
    // Opens with the given settings, without asking.
    TStat OpenWith(const TSerialSettings& Given);
    QSerialPort* Port() const { return FPort; }

private:
    TStat OpenPort(const QString& PortName, int Rate);
    void PortError(QSerialPort::SerialPortError Error);

    QSerialPort* FPort = nullptr;
    uint32_t FOpenCount = 0; // tells a write that waited whether the port was opened anew
};
