#pragma once
// CAN-bus transport: the byte stream goes out in frames of up to 8 bytes with the identifier of
// the target system and comes back in the frames that carry the next identifier.
#include "transports/CanLib.h"
#include "transports/DeviceComponent.h"

#include <memory>

class TCANRxThread;

// Bit rate code (CanBitrateForCode) and identifier of the target system. Interface is the net
// as the port list names it ("Net 0 (can0)"), for the question only; empty when not listed.
struct TCanSettings {
    int32_t Net = 0;
    QString Interface;
    int32_t Bitrate = 4;
    int32_t Id = 100;
    bool operator==(const TCanSettings&) const = default;
};

class TCANDevice : public TDevice {
    Q_OBJECT
public:
    // Largest identifier of the target system: its answers come with the next one.
    static constexpr int32_t MaxId = CAN_MAX_STD_ID - 1;

    explicit TCANDevice(QObject* Owner);
    ~TCANDevice() override;

    void WriteSettings(TIniFile& File, const QString& Section) override;
    // Without any of the keys "backend", "interface", "net", "bitrate", "id" in the section, and
    // without "interface" in can.cfg, this opens "Net 0" as Open does (asking); otherwise it opens
    // without asking (scripts, zelctl). An interface named wins over a net number; a backend
    // named holds for this open only.
    TStat OpenFromSettings(TIniFile& File, const QString& Section) override;
    bool IsOpen() override;
    TStat Open(const QString& PortName) override;
    TStat Close() override;
    int32_t BytesAvailable() override;
    int32_t Read(uint8_t* Buffer, int32_t MaxCount) override;
    TStat Write(const uint8_t* Buffer, int32_t Count) override;
    bool HasPortList() override { return true; }
    void GetPortList(QStringList& List) override;
    QString LinkDescription() const override;

    using TQuestion = TOperatorQuestion<TCANDevice, TCanSettings>;
    static TQuestion& AskOperator();
    // Bit rate code and identifier from can.cfg (4 and 100 when absent), for net 0.
    TCanSettings StoredSettings() const;
    // Opens net Given.Net with the given bit rate and identifier, without asking.
    TStat OpenWith(const TCanSettings& Given);
    // Opens the interface Given.Interface names (when empty, net Given.Net) of Backend (empty:
    // the configured one), without asking and without touching can.cfg.
    TStat OpenLink(const TCanSettings& Given, const QString& Backend);
    TCANRxThread* RxThread() const { return FRxThread; }
    int32_t NetHandle() const { return FNetHandle; }
    int32_t TxId() const { return FTxId; }
    // The library the transport calls; the real layer unless a test scripts one. Closed only.
    void SetCanApi(TCanApi Api);

private:
    TStat OpenNamed(const QString& Name, int32_t Net, int32_t BitrateCode, int32_t Id);
    // Steps from closing a previous net to arming the connect poll, shared by both opens.
    // Interface is the net's entry in the interface list (empty name when not listed).
    TStat OpenNet(int32_t Net, const TCanInterfaceInfo& Interface, int32_t BitrateCode, int32_t Id);
    void ReportDown(const TCanInterfaceInfo& Interface, int32_t BitrateCode);
    void ReportBitrate(const TCanInterfaceInfo& Interface, int32_t BitrateCode);
    std::vector<TCanInterfaceInfo> Interfaces();
    void ReleaseNet();

    TCANRxThread* FRxThread = nullptr;
    int32_t FNetHandle = -1;
    int32_t FTxId = 0;
    QString FInterfaceName;
    // Counts opens and closes, so that a Close can tell that a nested one has done its work.
    uint64_t FLinkSerial = 0;
    TCanApi FApi;
};
