#pragma once
// What the device needs of a command log: every packet the synchronous path sends and every
// packet taken from the receive store is handed over here. The log window implements it.
#include "protocol/Types.h"

// The log window TCommLog implements it; the device refuses a log that does not.
class TCommLogSink {
public:
    virtual ~TCommLogSink() = default;
    // Packet is the caller's record; a log that marks direction does so in its own copy.
    virtual void AddPacket(const TPacket& Packet, bool Received) = 0;
};
