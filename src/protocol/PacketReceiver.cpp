#include "protocol/PacketReceiver.h"

#include "protocol/crc.h"
#include "protocol/debugout.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace {
constexpr uint8_t Preamble = 0xAA;
constexpr uint16_t PreambleCrc = 0x50F5;
} // namespace

TPacketReceiver::TPacketReceiver() : FPayload(std::make_unique<std::array<uint8_t, 65536>>()) {
    FPayload->fill(0);
}

uint32_t TPacketReceiver::Now() const {
    return Clock ? Clock() : GetTickCount32();
}

void TPacketReceiver::Reset() {
    FState = TReceiverState{};
    FState.Crc = CrcStart;
    FPayload->fill(0);
}

void TPacketReceiver::Feed(const uint8_t* Data, size_t Count) {
    if (Count == 0)
        return;
    const uint32_t now = Now();
    if (FDepth > 0) {
        // Nested delivery: queue it behind the outer rest, then consume both in order.
        FPending.push_back({now, TByteArray(Data, Data + Count)});
    } else {
        Begin(Data, Count, now);
    }
    Drain();
}

void TPacketReceiver::Begin(const uint8_t* Data, size_t Count, uint32_t Tick) {
    // All bytes of one delivery share one clock reading, so a pause can only show at its first.
    FCur = Data;
    FEnd = Data + Count;
    if (FState.Position > 0 && TicksSince(FState.LastTick, Tick) > PauseLimit) {
        FState.Position = 0;
        FState.Synced = false;
    }
    FState.LastTick = Tick;
}

void TPacketReceiver::Drain() {
    struct DepthGuard {
        int& d;
        explicit DepthGuard(int& d_) : d(d_) { ++d; }
        ~DepthGuard() { --d; }
    } guard(FDepth);

    std::exception_ptr first;
    for (;;) {
        while (FCur != FEnd) {
            try {
                Scan();
            } catch (...) {
                if (!first)
                    first = std::current_exception();
                else
                    DebugOut("Packet handler failed again before the first failure was reported");
            }
        }
        if (FPending.empty())
            break;
        FOwned = std::move(FPending.front().Bytes);
        const uint32_t tick = FPending.front().Tick;
        FPending.pop_front();
        Begin(FOwned.data(), FOwned.size(), tick);
    }
    if (FDepth == 1) {
        FCur = FEnd = nullptr;
    }
    if (first)
        std::rethrow_exception(first);
}

// Consumes bytes from FCur until the delivery ends or one frame was completed. A completed frame
// is handed on only after the state is back to hunting and FCur is past it, because its handler
// may feed further bytes (and so run Scan) before it returns.
void TPacketReceiver::Scan() {
    auto& s = FState;
    const uint8_t* p = FCur;
    const uint8_t* const end = FEnd;
    while (p != end) {
        if (!s.Synced) {
            if (s.Position == 0 && end - p >= FrameOverhead && p[0] == Preamble && p[1] == Preamble &&
                p[2] == Preamble) {
                const int32_t length = p[4] | (p[5] << 8);
                if (end - p >= length + FrameOverhead) {
                    // The whole frame is in view: check it where it lies.
                    s.Identifier = p[3];
                    s.Length = length;
                    const uint16_t crc = CrcUpdateLong(p + 3, size_t(length) + 5, PreambleCrc);
                    FCur = p + length + FrameOverhead;
                    Finish(crc, p + 6);
                    return;
                }
            }
            s.Position = (*p++ == Preamble) ? s.Position + 1 : 0;
            if (s.Position == 3) {
                s.Synced = true;
                s.Position = 0;
                s.Crc = PreambleCrc;
                s.Length = 0;
                s.Identifier = 0;
            }
            continue;
        }

        const int32_t pos = s.Position;
        if (pos >= 3 && pos < s.Length + 3) {
            // Payload run: copied and checksummed as a block.
            const size_t n = std::min(size_t(s.Length + 3 - pos), size_t(end - p));
            std::memcpy(FPayload->data() + (pos - 3), p, n);
            s.Crc = CrcUpdateLong(p, n, uint16_t(s.Crc));
            p += n;
            s.Position += int32_t(n);
            continue;
        }
        const uint8_t b = *p++;
        s.Crc = CrcUpdateByte(b, uint16_t(s.Crc));
        if (pos == 0) {
            s.Identifier = b;
        } else if (pos == 1) {
            s.Length = b;
        } else if (pos == 2) {
            s.Length += 256 * b;
        } else if (pos == s.Length + 4) {
            FCur = p;
            Finish(uint16_t(s.Crc), FPayload->data());
            return;
        }
        ++s.Position;
    }
    FCur = p;
}

void TPacketReceiver::Finish(uint16_t Crc, const uint8_t* Payload) {
    // Back to hunting first, so a nested Feed from OnPacket starts cleanly.
    FState.Crc = Crc;
    FState.Position = 0;
    FState.Synced = false;
    if (Crc != 0) {
        ++FChecksumErrors;
        DebugOut("Checksum mismatch");
        return;
    }
    if (Store) {
        TPacket packet;
        packet.CommandID = FState.Identifier;
        packet.Length = FState.Length;
        packet.Payload.assign(Payload, Payload + FState.Length);
        // A full store drops the packet; say so once per overflow, not once per packet.
        if (Store->Add(std::move(packet))) {
            FOverflowing = false;
        } else {
            ++FDropped;
            if (!std::exchange(FOverflowing, true))
                DebugOut("Packet store full: received packets are dropped");
        }
    }
    if (OnPacket)
        OnPacket();
}

TStat BuildFrame(int32_t CommandID, const uint8_t* Payload, size_t Length, uint8_t* Out,
                 int32_t& FrameLength) {
    if (Length > size_t(MaxPayloadLength)) {
        FrameLength = 0;
        return E_INVALID_PARAMETER;
    }
    Out[0] = Out[1] = Out[2] = Preamble;
    Out[3] = uint8_t(CommandID);
    Out[4] = uint8_t(Length);
    Out[5] = uint8_t(Length >> 8);
    if (Length > 0)
        std::memcpy(Out + 6, Payload, Length);
    const uint16_t crc = CrcUpdateLong(Out, Length + 6, CrcStart);
    Out[6 + Length] = uint8_t(crc);
    Out[7 + Length] = uint8_t(crc >> 8);
    FrameLength = int32_t(Length + FrameOverhead);
    return E_SUCCESS;
}

TStat BuildFrame(const TPacket& Packet, uint8_t* Out, int32_t& FrameLength) {
    if (Packet.Length < 0 || size_t(Packet.Length) > Packet.Payload.size()) {
        FrameLength = 0;
        return E_INVALID_PARAMETER;
    }
    return BuildFrame(Packet.CommandID, Packet.Payload.data(), size_t(Packet.Length), Out, FrameLength);
}

TByteArray MakeFrame(int32_t CommandID, const TByteArray& Payload) {
    if (Payload.size() > size_t(MaxPayloadLength))
        return {};
    TByteArray frame(Payload.size() + FrameOverhead);
    int32_t n = 0;
    BuildFrame(CommandID, Payload.data(), Payload.size(), frame.data(), n);
    return frame;
}
