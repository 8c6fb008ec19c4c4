#include "protocol/PacketListClass.h"

int32_t TPacketList::Add(const TPacket& Packet) {
    FItems.push_back(Packet);
    return Count() - 1;
}

void TPacketList::Check(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(Index);
}

void TPacketList::Get(int32_t Index, TPacket& Packet) const { Packet = At(Index); }

const TPacket& TPacketList::At(int32_t Index) const {
    Check(Index);
    return FItems[size_t(Index)];
}

void TPacketList::Delete(int32_t Index) {
    Check(Index);
    FItems.erase(FItems.begin() + Index);
}
