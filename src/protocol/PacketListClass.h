#pragma once
// Indexed list of packets (the command log's history). Bad indices raise EListError.
#include "protocol/Types.h"

#include <vector>

class TPacketList {
public:
    int32_t Count() const { return int32_t(FItems.size()); }
    int32_t Add(const TPacket& Packet);
    void Get(int32_t Index, TPacket& Packet) const;
    const TPacket& At(int32_t Index) const;
    void Delete(int32_t Index);
    void Clear() { FItems.clear(); }

private:
    void Check(int32_t Index) const;
    std::vector<TPacket> FItems;
};
