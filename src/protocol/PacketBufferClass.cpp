#include "protocol/PacketBufferClass.h"

#include <algorithm>

namespace {
// A copy holding exactly Length payload bytes, whatever the caller's array holds.
TPacket CopyOf(const TPacket& p) {
    TPacket c;
    c.CommandID = p.CommandID;
    c.Length = std::clamp<int32_t>(p.Length, 0, int32_t(p.Payload.size()));
    c.Payload.assign(p.Payload.begin(), p.Payload.begin() + c.Length);
    return c;
}
} // namespace

bool TPacketBuffer::Add(const TPacket& Packet) {
    if (Count() >= FMaxCount)
        return false;
    FQueue.push_back(CopyOf(Packet));
    return true;
}

bool TPacketBuffer::Add(TPacket&& Packet) {
    if (Count() >= FMaxCount)
        return false;
    Packet.Length = std::clamp<int32_t>(Packet.Length, 0, int32_t(Packet.Payload.size()));
    Packet.Payload.resize(size_t(Packet.Length));
    FQueue.push_back(std::move(Packet));
    return true;
}

bool TPacketBuffer::Get(TPacket& Packet) {
    if (FQueue.empty())
        return false;
    Packet = std::move(FQueue.front());
    FQueue.pop_front();
    return true;
}
