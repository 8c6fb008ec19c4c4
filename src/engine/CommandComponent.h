#pragma once
// The single point through which the device layer reaches a device: owns the transports, asks
// which one to connect, frames outgoing packets, turns the incoming byte stream into packets and
// keeps them in its store until the device layer takes them.
#include "transports/CANDevice.h"
#include "transports/DeviceComponent.h"
#include "protocol/PacketBufferClass.h"
#include "protocol/PacketReceiver.h"
#include "transports/SerialDevice.h"
#include "transports/TCPDevice.h"
#include "transports/UDPDevice.h"

#include <QObject>

#include <functional>
#include <vector>

class TIniFile;
struct TLinkAddress;

// Which transport to open and on which port.
struct TInterfaceChoice {
    int32_t Index = 0;
    QString Port;
};

class TCommand : public QObject, public TDeviceListOwner {
    Q_OBJECT
public:
    static constexpr int32_t StoreCapacity = 1024;
    static constexpr int32_t ReadChunk = 4096;
    // The transports' places in the list.
    enum : int32_t { SerialIndex, TcpIndex, UdpIndex, CanIndex };

    explicit TCommand(QObject* Owner);
    ~TCommand() override;

    int32_t DeviceCount() const override;
    // Index at or beyond the count: "Index out of bounds (%d)."; negative: the list's index error.
    TDevice* GetDevice(int32_t Index) const override;

    void SetOnConnected(TNotifyEvent Handler);
    void SetOnDisconnected(TNotifyEvent Handler);

    // The operator's choice of the interface at every Connect (the console's interface dialog);
    // false cancels. Without it Connect takes the first transport on its last port.
    using TQuestion = std::function<bool(TCommand& Engine, TInterfaceChoice& Choice)>;
    // The program's question, installed once at its start (the console's interface dialog).
    static TQuestion& AskOperator();
    // This engine's own question instead of the program's (a window of its own per device).
    void SetOperatorQuestion(TQuestion Question) { FQuestion = std::move(Question); }

    // Asks for the interface, closes the active transport, opens the chosen one.
    TStat Connect();
    // The same for a given choice; the transport still asks for its settings.
    TStat Connect(const TInterfaceChoice& Choice);
    // Closes the active transport and opens one with the given settings, without asking
    // (programs without a window).
    TStat Connect(const TSerialSettings& Settings);
    TStat Connect(const TTcpSettings& Settings);
    TStat Connect(const TUdpSettings& Settings);
    TStat Connect(const TCanSettings& Settings);
    // The same for a link text's description (LinkAddress.h).
    TStat Connect(const TLinkAddress& Link);
    // The same from a settings section: opens transport Index (headless tools).
    TStat ConnectFromSettings(int32_t Index, TIniFile& File, const QString& Section);
    void Disconnect();
    bool IsConnected() const;
    TDevice* ActiveDevice() const { return FActive; }
    // The transport chosen in the last Connect, also when its Open failed (for its LastError).
    TDevice* LastDevice() const { return FLastChosen; }

    TStat SendPacket(const TPacket& Packet);
    int32_t PacketCount() const { return FStore.Count(); }
    bool GetPacket(TPacket& Packet) { return FStore.Get(Packet); }

    // Raised after each good frame (Sender = this engine); the device layer sets, saves and clears it.
    std::function<void(TCommand* Sender)> OnPacket;

    void HandleDataAvailable(TDevice* Sender, int32_t Count);
    void ProcessByte(uint8_t Byte) { FReceiver.ProcessByte(Byte); }

    TPacketReceiver& Receiver() { return FReceiver; }

private:
    TStat Activate(int32_t Index, const std::function<TStat(TDevice*)>& OpenIt);

    TQuestion FQuestion;
    TNotifyEvent FOnConnected;
    TNotifyEvent FOnDisconnected;
    std::vector<TDevice*> FDevices;
    TDevice* FActive = nullptr;
    TDevice* FLastChosen = nullptr;
    TPacketBuffer FStore{StoreCapacity};
    TPacketReceiver FReceiver;
    std::vector<uint8_t> FFrame; // one frame of the largest size, reused by every send
};
