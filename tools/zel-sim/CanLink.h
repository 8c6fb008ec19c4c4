#pragma once
// CAN link over Qt SerialBus: takes the data bytes of every frame with the device's identifier
// as the receive stream, and sends the answer bytes in frames of up to 8 with identifier + 1.
#include "ByteSink.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

class QCanBusDevice;

namespace zelsim {

class TDispatcher;
class TSimSession;

struct TCanAddress {
    std::string Plugin = "virtualcan";
    std::string Interface = "can0";
    uint32_t Id = 100;
};

// "plugin:interface:id" (id decimal or 0x-hex); false with a message when malformed.
bool ParseCanAddress(const std::string& Text, TCanAddress& Address, std::string& Error);

// The virtualcan plugin runs its bus server in the thread that first opens a virtual device, and
// the bus dies with that thread. Opening one here first keeps the bus in a longer-lived thread.
void HostVirtualCanBus(const TCanAddress& Address);

class TCanLink : public QObject, public TByteSink {
public:
    TCanLink(TDispatcher& Dispatcher, QObject* Parent = nullptr);
    ~TCanLink() override;

    bool Open(const TCanAddress& Address, std::string& Error);
    const TCanAddress& Address() const { return FAddress; }

    void WriteBytes(const uint8_t* Data, size_t Count, bool Separate) override;
    void CloseLink() override {} // a bus has no connection to end: the device falls silent

private:
    void ReadFrames();

    TDispatcher& FDispatcher;
    TCanAddress FAddress;
    QCanBusDevice* FDevice = nullptr;
    std::unique_ptr<TSimSession> FSession;
};

} // namespace zelsim
