// Feeds arbitrary bytes, in arbitrary deliveries and with arbitrary pauses, to the receiver and
// checks every packet it delivers: re-framed, its checksum runs to zero and its length matches.
//
// Input layout, repeated: one control byte c; if c & 0x80 a pause byte follows (the clock moves
// on by that many milliseconds times 2, so pauses on both sides of the 100 ms limit occur);
// then (c & 0x7F) + 1 data bytes delivered in one Feed.
#include "PacketReceiver.h"
#include "crc.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TPacketBuffer store(1024);
    store.Clear();
    TPacketReceiver rx;
    uint32_t now = 0xFFFFFF00u; // start near the wrap of the tick counter
    rx.Clock = [&now] { return now; };
    rx.Store = &store;
    rx.OnPacket = [] {
        TPacket p;
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
        }
    };

    size_t i = 0;
    while (i < Size) {
        const uint8_t c = Data[i++];
        if ((c & 0x80) && i < Size)
            now += 2u * Data[i++];
        const size_t n = std::min(size_t(c & 0x7F) + 1, Size - i);
        rx.Feed(Data + i, n);
        i += n;
    }
    return 0;
}
