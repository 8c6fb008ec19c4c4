#pragma once
// The receive rules applied literally, one byte at a time, with the payload checksummed when the
// first checksum byte arrives. The receiver's block-wise paths must give the same packets,
// checksum failures and state; tests and the fuzz target compare against it.
#include "protocol/PacketReceiver.h"
#include "protocol/crc.h"

#include <array>
#include <vector>

struct TReferenceReceiver {
    TReceiverState S;
    std::array<uint8_t, 65536> Payload{};
    std::vector<TPacket> Packets;
    uint64_t ChecksumErrors = 0;

    void Feed(const uint8_t* Data, size_t Count, uint32_t Now) {
        for (size_t i = 0; i < Count; ++i)
            Byte(Data[i], Now);
    }

    void Byte(uint8_t b, uint32_t now) {
        if (S.Position > 0 && now - S.LastTick > TPacketReceiver::PauseLimit) {
            S.Position = 0;
            S.Synced = false;
        }
        S.LastTick = now;
        if (!S.Synced) {
            S.Position = b == 0xAA ? S.Position + 1 : 0;
            if (S.Position == 3) {
                S.Synced = true;
                S.Position = 0;
                S.Crc = 0x50F5;
                S.Length = 0;
                S.Identifier = 0;
            }
            return;
        }
        const int32_t pos = S.Position;
        if (pos == 0) {
            S.Identifier = b;
            S.Crc = CrcUpdateByte(b, uint16_t(S.Crc));
        } else if (pos == 1) {
            S.Length = b;
            S.Crc = CrcUpdateByte(b, uint16_t(S.Crc));
        } else if (pos == 2) {
            S.Length += 256 * b;
            S.Crc = CrcUpdateByte(b, uint16_t(S.Crc));
        } else if (pos < S.Length + 3) {
            Payload[size_t(pos - 3)] = b;
        } else if (pos == S.Length + 3) {
            S.Crc = CrcUpdateBytewise(Payload.data(), size_t(S.Length), uint16_t(S.Crc));
            S.Crc = CrcUpdateByte(b, uint16_t(S.Crc));
        } else {
            S.Crc = CrcUpdateByte(b, uint16_t(S.Crc));
            S.Position = 0;
            S.Synced = false;
            if (S.Crc != 0)
                ++ChecksumErrors;
            else
                Packets.push_back(
                    {S.Identifier, S.Length, TByteArray(Payload.begin(), Payload.begin() + S.Length)});
            return;
        }
        ++S.Position;
    }

    // Everything but the running checksum, which inside a payload is kept over the runs seen
    // so far instead of waiting for the first checksum byte, and is meaningless while hunting.
    bool SameState(const TReceiverState& R) const {
        return R.Identifier == S.Identifier && R.Length == S.Length && R.Position == S.Position &&
               R.Synced == S.Synced && R.LastTick == S.LastTick;
    }
};
