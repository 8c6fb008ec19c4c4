#pragma once
// The command log's kept packets: up to a chosen number, oldest dropped first, with the filter
// that decides which of them the view shows and the search over those.
#include "protocol/Types.h"

#include <bitset>
#include <cstdint>
#include <deque>
#include <functional>

struct TLogEntry {
    TPacket Copy;        // LogReceivedFlag set for a received packet
    int64_t TimeMs = 0;  // since the first packet logged
    bool Update = false; // sent by the device by itself, not in answer to a request
};

struct TLogFilter {
    bool Sent = true;
    bool Received = true;
    bool Updates = true;
    std::bitset<256> HiddenIDs;
    bool Passes(const TLogEntry& E) const;
    bool ShowsAll() const { return Sent && Received && Updates && HiddenIDs.none(); }
};

class TLogHistory {
public:
    static constexpr int64_t MaxKeep = 1000000;

    int32_t Count() const { return int32_t(FItems.size()); }
    const TPacket& At(int32_t Index) const { return FItems[size_t(Index)].Copy; }
    const TLogEntry& Entry(int64_t Index) const { return FItems[size_t(Index)]; }

    int64_t Keep() const { return FKeep; }
    // Drops the oldest packets beyond the new size.
    void SetKeep(int64_t Packets);

    // Called for each packet that leaves the history, before it goes; Shown tells whether the
    // filter let it through, ShownIndex is then its place among the shown packets (always 0).
    using TDropped = std::function<void(const TLogEntry& Entry, bool Shown)>;
    // Appends; true when the filter shows the packet.
    bool Add(TLogEntry Entry, const TDropped& Dropped = {});
    void Clear();

    // Whether a packet is an automatic update: a received packet of a command the device also sends
    // by itself (UpdateCommand), with no request of its identifier waiting for its answer.
    bool IsUpdate(const TPacket& Copy, bool UpdateCommand);

    const TLogFilter& Filter() const { return FFilter; }
    void SetFilter(const TLogFilter& Filter);
    int64_t ShownCount() const { return int64_t(FShown.size()); }
    const TLogEntry& Shown(int64_t Index) const { return FItems[size_t(FShown[size_t(Index)] - FFirstSeq)]; }

    // The next shown packet after From (or before it when Backward) that Match accepts, wrapping
    // around once; -1 when there is none. From -1 starts at the first (or last) one.
    int64_t Find(int64_t From, bool Backward, const std::function<bool(const TLogEntry&)>& Match) const;

private:
    void DropOldest(const TDropped& Dropped);

    std::deque<TLogEntry> FItems;
    std::deque<uint64_t> FShown; // sequence numbers of the shown packets
    uint64_t FFirstSeq = 0;      // sequence number of FItems.front()
    int64_t FKeep = 150;
    TLogFilter FFilter;
    std::bitset<256> FAwaiting; // requests sent and not yet answered
};

// A received answer with a status other than success or pending (sensor frames have none).
bool IsFailedAnswer(const TLogEntry& Entry, bool SensorDevice);
// Whether Payload holds Pattern as consecutive bytes.
bool PayloadContains(const TByteArray& Payload, const TByteArray& Pattern);
