// Feeds arbitrary bytes, in arbitrary deliveries and with arbitrary pauses, to the receiver and
// checks every packet it delivers: re-framed, its checksum runs to zero and its length matches.
// The packets, checksum failures and state must also equal those of the literal one-byte-at-a-
// time rules (ReferenceReceiver.h) fed the same bytes at the same ticks.
//
// Input layout, repeated: one control byte c; if c & 0x80 a pause byte follows (the clock moves
// on by that many milliseconds times 2, so pauses on both sides of the 100 ms limit occur);
// then (c & 0x7F) + 1 data bytes delivered in one Feed. A packet with an odd identifier has its
// handler make the next delivery itself (up to three deep), as a nested event loop would.
#include "protocol/PacketReceiver.h"
#include "ReferenceReceiver.h"
#include "protocol/crc.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TPacketBuffer store(1024);
    store.Clear();
    TPacketReceiver rx;
    auto ref = std::make_unique<TReferenceReceiver>();
    uint32_t now = 0xFFFFFF00u; // start near the wrap of the tick counter
    rx.Clock = [&now] { return now; };
    rx.Store = &store;

    size_t i = 0;
    int depth = 0;
    size_t seen = 0;
    auto deliverNext = [&] {
        const uint8_t c = Data[i++];
        if ((c & 0x80) && i < Size)
            now += 2u * Data[i++];
        const size_t n = std::min(size_t(c & 0x7F) + 1, Size - i);
        ref->Feed(Data + i, n, now);
        const uint8_t* d = Data + i;
        i += n;
        rx.Feed(d, n);
    };
    rx.OnPacket = [&] {
        TPacket p;
        bool nest = false;
        while (store.Get(p)) {
            if (p.Length < 0 || p.Length > MaxPayloadLength || size_t(p.Length) != p.Payload.size())
                std::abort();
            const TByteArray frame = MakeFrame(p.CommandID, p.Payload);
            if (frame.size() != size_t(p.Length) + FrameOverhead)
                std::abort();
            if (CrcUpdateLong(frame.data(), frame.size(), CrcStart) != 0)
                std::abort();
            if (p.CommandID < 0 || p.CommandID > 255)
                std::abort();
            // The reference has taken every delivery made so far, so it is never behind.
            if (seen >= ref->Packets.size() || ref->Packets[seen].CommandID != p.CommandID ||
                ref->Packets[seen].Payload != p.Payload)
                std::abort();
            ++seen;
            nest = nest || (p.CommandID & 1);
        }
        if (nest && depth < 3 && i < Size) {
            ++depth;
            deliverNext();
            --depth;
        }
    };

    while (i < Size) {
        deliverNext();
        if (!ref->SameState(rx.State()) || rx.ChecksumErrors() != ref->ChecksumErrors)
            std::abort();
    }
    if (seen != ref->Packets.size())
        std::abort();
    return 0;
}
