#include "PacketReceiver.h"

#include "crc.h"
#include "debugout.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {
constexpr uint8_t Preamble = 0xAA;
constexpr uint16_t PreambleCrc = 0x50F5;
} // namespace

TPacketReceiver::TPacketReceiver() : FPayload(std::make_unique<std::array<uint8_t, 65536>>()) {
    FPayload->fill(0);
}

uint32_t TPacketReceiver::Now() const { return Clock ? Clock() : GetTickCount32(); }

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
        FCur = Data;
        FEnd = Data + Count;
        FCurTick = now;
    }
    Drain();
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
            // Payload bytes of one delivery are copied as a run; they share one clock reading.
            if (FState.Synced && FState.Position >= 3 && FState.Position < FState.Length + 3 &&
                TicksSince(FState.LastTick, FCurTick) <= PauseLimit) {
                const size_t want = size_t(FState.Length + 3 - FState.Position);
                const size_t n = std::min(want, size_t(FEnd - FCur));
                std::memcpy(FPayload->data() + (FState.Position - 3), FCur, n);
                FCur += n;
                FState.Position += int32_t(n);
                FState.LastTick = FCurTick;
                continue;
            }
            const uint8_t b = *FCur++;
            try {
                Step(b, FCurTick);
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
        FCurTick = FPending.front().Tick;
        FPending.pop_front();
        FCur = FOwned.data();
        FEnd = FCur + FOwned.size();
    }
    if (FDepth == 1) {
        FCur = FEnd = nullptr;
    }
    if (first)
        std::rethrow_exception(first);
}

void TPacketReceiver::Step(uint8_t b, uint32_t now) {
    auto& s = FState;
    if (s.Position > 0 && TicksSince(s.LastTick, now) > PauseLimit) {
        s.Position = 0;
        s.Synced = false;
    }
    s.LastTick = now;

    if (!s.Synced) {
        s.Position = (b == Preamble) ? s.Position + 1 : 0;
        if (s.Position == 3) {
            s.Synced = true;
            s.Position = 0;
            s.Crc = PreambleCrc;
            s.Length = 0;
            s.Identifier = 0;
        }
        return;
    }

    const int32_t pos = s.Position;
    if (pos == 0) {
        s.Identifier = b;
        s.Crc = CrcUpdateByte(b, uint16_t(s.Crc));
    } else if (pos == 1) {
        s.Length = b;
        s.Crc = CrcUpdateByte(b, uint16_t(s.Crc));
    } else if (pos == 2) {
        s.Length += 256 * b;
        s.Crc = CrcUpdateByte(b, uint16_t(s.Crc));
    } else if (pos < s.Length + 3) {
        (*FPayload)[size_t(pos - 3)] = b;
    } else if (pos == s.Length + 3) {
        s.Crc = CrcUpdate(FPayload->data(), uint16_t(s.Length), uint16_t(s.Crc));
        s.Crc = CrcUpdateByte(b, uint16_t(s.Crc));
    } else {
        s.Crc = CrcUpdateByte(b, uint16_t(s.Crc));
        s.Position = 0;
        s.Synced = false;
        if (s.Crc != 0) {
            ++FChecksumErrors;
            DebugOut("Checksum mismatch");
        } else {
            Deliver();
        }
        return;
    }
    ++s.Position;
}

void TPacketReceiver::Deliver() {
    // The state is already back to hunting, so a nested Feed from OnPacket starts cleanly.
    if (Store) {
        TPacket p;
        p.CommandID = FState.Identifier;
        p.Length = FState.Length;
        p.Payload.assign(FPayload->begin(), FPayload->begin() + FState.Length);
        Store->Add(p);
    }
    if (OnPacket)
        OnPacket();
}

TStat BuildFrame(int32_t CommandID, const uint8_t* Payload, size_t Length, uint8_t* Out, int32_t& FrameLength) {
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
