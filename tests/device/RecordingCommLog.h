#pragma once
// A command log that records what the device hands it, and can be told to fail on a packet.
#include "device/CommLog.h"

#include <stdexcept>
#include <vector>

struct TLoggedPacket {
    TPacket Packet;
    bool Received;
};

class TRecordingCommLog : public TCommLogSink {
public:
    std::vector<TLoggedPacket> Entries;
    int ThrowOnReceivedID = -1;

    void AddPacket(const TPacket& Packet, bool Received) override {
        Entries.push_back({Packet, Received});
        if (Received && Packet.CommandID == ThrowOnReceivedID)
            throw std::runtime_error("log failure");
    }
    std::vector<int32_t> ReceivedIDs() const {
        std::vector<int32_t> ids;
        for (const auto& e : Entries)
            if (e.Received)
                ids.push_back(e.Packet.CommandID);
        return ids;
    }
};
