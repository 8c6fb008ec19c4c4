#pragma once
// Byte-at-a-time receive state machine for the framed packet format, and the frame builder.
//
// Frame: AA AA AA | id | len lo | len hi | payload[len] | crc lo | crc hi.
// A good frame is copied into Store and OnPacket is raised right after.
//
// Re-entry: OnPacket may run a nested event loop that delivers more bytes (Feed is called
// again before it returns). The receiver resets its state before it raises OnPacket and keeps
// the unconsumed rest of every delivery in itself, so a nested Feed first consumes what the
// outer one had left and then its own bytes: stream order is kept and nothing waits for the
// outer handler to return. An exception escaping OnPacket leaves the receiver hunting; the
// remaining bytes are still processed and the first exception is rethrown at the end.
//
// The results are those of feeding one byte at a time; for speed, a frame that lies whole in
// one delivery is checked in place, and payload runs are copied and checksummed as blocks.
#include "protocol/PacketBufferClass.h"
#include "protocol/Types.h"
#include "protocol/stat.h"
#include "protocol/tick.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

struct TReceiverState {
    uint8_t Identifier = 0;
    int32_t Length = 0;
    uint32_t Crc = 0;
    int32_t Position = 0; // hunting: 0xAA bytes seen; synced: index from the identifier
    bool Synced = false;
    uint32_t LastTick = 0;
};

class TPacketReceiver {
public:
    // A partial frame is dropped when more than this many milliseconds pass between two bytes.
    static constexpr uint32_t PauseLimit = 100;

    TPacketReceiver();

    TPacketBuffer* Store = nullptr; // where good packets go (may be null)
    std::function<void()> OnPacket; // raised after each good frame was offered to Store
    TTickSource Clock;              // empty: GetTickCount32

    // Feeds bytes that arrived together (one clock reading for the whole delivery).
    void Feed(const uint8_t* Data, size_t Count);
    void ProcessByte(uint8_t Byte) { Feed(&Byte, 1); }

    // Back to hunting with the checksum at 0xFFFF and the payload buffer cleared.
    void Reset();

    const TReceiverState& State() const { return FState; }
    uint64_t ChecksumErrors() const { return FChecksumErrors; }
    // Good frames the full store had no room for.
    uint64_t DroppedPackets() const { return FDropped; }

private:
    struct TChunk {
        uint32_t Tick;
        TByteArray Bytes;
    };
    void Begin(const uint8_t* Data, size_t Count, uint32_t Tick);
    void Drain();
    void Scan();
    void Finish(uint16_t Crc, const uint8_t* Payload);
    uint32_t Now() const;

    TReceiverState FState;
    std::unique_ptr<std::array<uint8_t, 65536>> FPayload;
    uint64_t FChecksumErrors = 0;
    uint64_t FDropped = 0;
    bool FOverflowing = false;

    // Unconsumed bytes of the delivery being processed, and deliveries that arrived nested.
    const uint8_t* FCur = nullptr;
    const uint8_t* FEnd = nullptr;
    TByteArray FOwned;
    std::deque<TChunk> FPending;
    int FDepth = 0;
};

// Writes the frame of a packet into Out (room for MaxFrameLength bytes). A payload longer than
// 65535 bytes, or a packet whose Length is negative or beyond its payload's size, is refused with
// E_INVALID_PARAMETER and nothing is written; a payload longer than Length is sent up to Length.
TStat BuildFrame(const TPacket& Packet, uint8_t* Out, int32_t& FrameLength);
TStat BuildFrame(int32_t CommandID, const uint8_t* Payload, size_t Length, uint8_t* Out,
                 int32_t& FrameLength);
// Convenience form for tools and tests; returns an empty array when refused.
TByteArray MakeFrame(int32_t CommandID, const TByteArray& Payload);
