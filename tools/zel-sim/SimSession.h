#pragma once
// One console on one link: its own receive state machine, its automatic updates and its faulty
// output. A TCP connection, the UDP endpoint, the pseudo-terminal and the CAN link each have one.
#include "AutoUpdater.h"
#include "ByteSink.h"
#include "FaultWriter.h"
#include "protocol/PacketBufferClass.h"
#include "protocol/PacketReceiver.h"
#include "SimConfig.h"

#include <QObject>
#include <QString>

#include <cstdint>

namespace zelsim {

class TDispatcher;

class TSimSession : public QObject {
public:
    TSimSession(TDispatcher& Dispatcher, const QString& Name, TByteSink& Sink, QObject* Parent = nullptr);
    ~TSimSession() override;

    // Bytes from the link, in arrival order.
    void Receive(const uint8_t* Data, size_t Count);
    void Send(uint8_t CommandID, const TByteArray& Payload, bool Answer = false);

    uint64_t Id() const { return FId; }
    const QString& Name() const { return FName; }
    TAutoUpdater& Updates() { return FUpdates; }
    TFaultWriter& Writer() { return FWriter; }

private:
    TDispatcher& FDispatcher;
    uint64_t FId;
    QString FName;
    TPacketBuffer FStore{16};
    TPacketReceiver FReceiver;
    TFaultWriter FWriter;
    TAutoUpdater FUpdates;
};

} // namespace zelsim
