#pragma once
// CAN-bus transport: the byte stream goes out in frames of up to 8 bytes with the identifier of
// the target system and comes back in the frames that carry the next identifier.
#include "CanLib.h"
#include "DeviceComponent.h"

#include <memory>

class TCANParamsDlg;
class TCANRxThread;

class TCANDevice : public TDevice {
    Q_OBJECT
public:
    // Largest identifier of the target system: its answers come with the next one.
    static constexpr int32_t MaxId = CAN_MAX_STD_ID - 1;

    explicit TCANDevice(QObject* Owner);
    ~TCANDevice() override;

    void WriteSettings(TIniFile& File, const QString& Section) override;
    // Without any of the keys "backend", "interface", "net", "bitrate", "id" in the section, and
    // without "interface" in can.cfg, this opens "Net 0" through the dialog; otherwise it opens
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

    // Built when first asked for (a connect, or a test): most starts never show it.
    TCANParamsDlg* Dialog() const;
    TCANRxThread* RxThread() const { return FRxThread; }
    int32_t NetHandle() const { return FNetHandle; }
    int32_t TxId() const { return FTxId; }
    // The library the transport calls; the real layer unless a test scripts one. Closed only.
    void SetCanApi(TCanApi Api);

private:
    // Steps from closing a previous net to arming the connect poll, shared by both opens.
    // Interface is the net's entry in the interface list (empty name when not listed).
    TStat OpenNet(int32_t Net, const TCanInterfaceInfo& Interface, int32_t BitrateCode, int32_t Id);
    void ReportDown(const TCanInterfaceInfo& Interface, int32_t BitrateCode);
    void ReportBitrate(const TCanInterfaceInfo& Interface, int32_t BitrateCode);
    std::vector<TCanInterfaceInfo> Interfaces();
    void LoadDialogFromSettings() const;
    void ReleaseNet();

    mutable std::unique_ptr<TCANParamsDlg> FDialog;
    TCANRxThread* FRxThread = nullptr;
    int32_t FNetHandle = -1;
    int32_t FTxId = 0;
    QString FInterfaceName;
    // Counts opens and closes, so that a Close can tell that a nested one has done its work.
    uint64_t FLinkSerial = 0;
    TCanApi FApi;
};
