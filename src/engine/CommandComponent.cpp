#include "engine/CommandComponent.h"

#include "engine/LinkAddress.h"

#include <algorithm>
#include <stdexcept>
#include <string>

TCommand::TCommand(QObject* Owner) : QObject(Owner), FFrame(size_t(MaxFrameLength)) {
    FDevices.push_back(new TSerialDevice(this));
    FDevices.push_back(new TTCPDevice(this));
    FDevices.push_back(new TUDPDevice(this));
    FDevices.push_back(new TCANDevice(this));
    FReceiver.Store = &FStore;
    FReceiver.OnPacket = [this] {
        if (OnPacket)
            OnPacket(this);
    };
}

TCommand::~TCommand() {
    FActive = nullptr;
    // The transports close themselves; none may call back into an engine that is half gone.
    for (TDevice* d : FDevices) {
        d->OnDataAvailable = nullptr;
        d->OnConnected = nullptr;
        d->OnDisconnected = nullptr;
    }
    for (TDevice* d : FDevices)
        delete d;
    FDevices.clear();
}

int32_t TCommand::DeviceCount() const {
    return int32_t(FDevices.size());
}

TDevice* TCommand::GetDevice(int32_t Index) const {
    if (Index < 0)
        throw EListError(Index);
    if (Index >= DeviceCount())
        throw std::out_of_range("Index out of bounds (" + std::to_string(Index) + ").");
    return FDevices[size_t(Index)];
}

void TCommand::SetOnConnected(TNotifyEvent Handler) {
    FOnConnected = std::move(Handler);
    if (FActive)
        FActive->OnConnected = FOnConnected;
}

void TCommand::SetOnDisconnected(TNotifyEvent Handler) {
    FOnDisconnected = std::move(Handler);
    if (FActive)
        FActive->OnDisconnected = FOnDisconnected;
}

TCommand::TQuestion& TCommand::AskOperator() {
    static TQuestion question;
    return question;
}

TStat TCommand::Connect() {
    TInterfaceChoice choice{0, GetDevice(0)->GetLastPortName()};
    const TQuestion& ask = FQuestion ? FQuestion : AskOperator();
    if (ask && !ask(*this, choice))
        return E_CMD_ABORTED;
    return Connect(choice);
}

TStat TCommand::Connect(const TInterfaceChoice& Choice) {
    return Activate(Choice.Index, [&Choice](TDevice* D) { return D->Open(Choice.Port); });
}

TStat TCommand::Connect(const TSerialSettings& Settings) {
    return Activate(SerialIndex, [&](TDevice* D) { return static_cast<TSerialDevice*>(D)->OpenWith(Settings); });
}

TStat TCommand::Connect(const TTcpSettings& Settings) {
    return Activate(TcpIndex, [&](TDevice* D) { return static_cast<TTCPDevice*>(D)->OpenWith(Settings); });
}

TStat TCommand::Connect(const TUdpSettings& Settings) {
    return Activate(UdpIndex, [&](TDevice* D) { return static_cast<TUDPDevice*>(D)->OpenWith(Settings); });
}

TStat TCommand::Connect(const TCanSettings& Settings) {
    return Activate(CanIndex, [&](TDevice* D) { return static_cast<TCANDevice*>(D)->OpenWith(Settings); });
}

static_assert(int32_t(TLinkAddress::TKind::Serial) == TCommand::SerialIndex &&
              int32_t(TLinkAddress::TKind::Tcp) == TCommand::TcpIndex &&
              int32_t(TLinkAddress::TKind::Udp) == TCommand::UdpIndex &&
              int32_t(TLinkAddress::TKind::Can) == TCommand::CanIndex);

TStat TCommand::Connect(const TLinkAddress& Link) {
    switch (Link.Kind) {
    case TLinkAddress::TKind::Serial:
        return Connect(Link.Serial);
    case TLinkAddress::TKind::Tcp:
        return Connect(Link.Tcp);
    case TLinkAddress::TKind::Udp:
        return Connect(Link.Udp);
    case TLinkAddress::TKind::Can:
        return Activate(CanIndex, [&](TDevice* D) {
            return static_cast<TCANDevice*>(D)->OpenLink(Link.Can, Link.CanBackend);
        });
    }
    return E_INVALID_PARAMETER;
}

TStat TCommand::ConnectFromSettings(int32_t Index, TIniFile& File, const QString& Section) {
    GetDevice(Index); // an invalid index fails before the open link is touched
    return Activate(Index, [&](TDevice* D) { return D->OpenFromSettings(File, Section); });
}

TStat TCommand::Activate(int32_t Index, const std::function<TStat(TDevice*)>& OpenIt) {
    TDevice* chosen = GetDevice(Index);
    FLastChosen = chosen;
    if (FActive)
        FActive->Close();
    FActive = chosen;
    FActive->OnConnected = FOnConnected;
    FActive->OnDisconnected = FOnDisconnected;
    FActive->OnDataAvailable = [this](TDevice* Sender, int32_t Count) { HandleDataAvailable(Sender, Count); };
    const TStat result = OpenIt(FActive);
    if (result == E_SUCCESS) {
        FStore.Clear();
        FReceiver.Reset();
    } else {
        FActive->OnConnected = nullptr;
        FActive->OnDisconnected = nullptr;
        FActive = nullptr;
    }
    return result;
}

void TCommand::Disconnect() {
    if (TDevice* d = std::exchange(FActive, nullptr))
        d->Close();
}

bool TCommand::IsConnected() const {
    return FActive && FActive->IsOpen();
}

TStat TCommand::SendPacket(const TPacket& Packet) {
    if (!IsConnected())
        return E_NOT_INITIALIZED;
    int32_t length = 0;
    if (BuildFrame(Packet, FFrame.data(), length) != E_SUCCESS)
        return E_INVALID_PARAMETER;
    return FActive->Write(FFrame.data(), length);
}

void TCommand::HandleDataAvailable(TDevice* Sender, int32_t Count) {
    // A transport the engine has left may still have a notification queued.
    if (!FActive || Sender != FActive)
        return;
    uint8_t buffer[ReadChunk];
    const int32_t got = FActive->Read(buffer, std::min(Count, ReadChunk));
    if (got > 0)
        FReceiver.Feed(buffer, size_t(got));
}
