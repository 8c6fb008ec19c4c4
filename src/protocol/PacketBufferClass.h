#pragma once
// Bounded first-in-first-out store of received packets. A full store rejects new packets;
// older ones are never displaced.
#include "protocol/Types.h"

#include <deque>

class TPacketBuffer {
public:
    explicit TPacketBuffer(int32_t MaxCount) : FMaxCount(MaxCount) {}

    bool Add(const TPacket& Packet);
    // The same, taking over the packet's payload instead of copying it.
    bool Add(TPacket&& Packet);
    bool Get(TPacket& Packet);
    int32_t Count() const { return int32_t(FQueue.size()); }
    int32_t MaxCount() const { return FMaxCount; }
    void Clear() { FQueue.clear(); }

private:
    std::deque<TPacket> FQueue;
    int32_t FMaxCount;
};
