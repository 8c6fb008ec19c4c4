#pragma once
// The single point through which the device layer reaches a device: owns the transports and the
// interface selection dialog, frames outgoing packets, turns the incoming byte stream into
// packets and keeps them in its store until the device layer takes them.
#include "DeviceComponent.h"
#include "DeviceDialog.h"
#include "PacketBufferClass.h"
#include "PacketReceiver.h"

#include <QObject>

#include <functional>
#include <vector>

class TIniFile;

class TCommand : public QObject, public TDeviceListOwner {
    Q_OBJECT
public:
    static constexpr int32_t StoreCapacity = 1024;
    static constexpr int32_t ReadChunk = 4096;

    explicit TCommand(QObject* Owner);
    ~TCommand() override;

    int32_t DeviceCount() const override;
    // Index at or beyond the count: "Index out of bounds (%d)."; negative: the list's index error.
    TDevice* GetDevice(int32_t Index) const override;

    void SetOnConnected(TNotifyEvent Handler);
    void SetOnDisconnected(TNotifyEvent Handler);

    // Runs the interface dialog, closes the active transport, opens the chosen one.
    TStat Connect();
    // The same without any dialog: opens transport Index from a settings section (headless tools).
    TStat ConnectFromSettings(int32_t Index, TIniFile& File, const QString& Section);
    void Disconnect();
    bool IsConnected() const;
    TDevice* ActiveDevice() const { return FActive; }

    TStat SendPacket(const TPacket& Packet);
    int32_t PacketCount() const { return FStore.Count(); }
    bool GetPacket(TPacket& Packet) { return FStore.Get(Packet); }

    // Raised after each good frame (Sender = this engine); the device layer sets, saves and clears it.
    std::function<void(TCommand* Sender)> OnPacket;

    void HandleDataAvailable(TDevice* Sender, int32_t Count);
    void ProcessByte(uint8_t Byte) { FReceiver.ProcessByte(Byte); }

    TDeviceDlg* Dialog() const { return FDialog; }
    TPacketReceiver& Receiver() { return FReceiver; }

private:
    TStat Activate(int32_t Index, const std::function<TStat(TDevice*)>& OpenIt);

    TNotifyEvent FOnConnected;
    TNotifyEvent FOnDisconnected;
    TDeviceDlg* FDialog = nullptr;
    std::vector<TDevice*> FDevices;
    TDevice* FActive = nullptr;
    TPacketBuffer FStore{StoreCapacity};
    TPacketReceiver FReceiver;
    std::vector<uint8_t> FFrame; // one frame of the largest size, reused by every send
};
