#include "protocol/PacketReceiver.h"
#include "ReferenceReceiver.h"
#include "protocol/crc.h"
#include "protocol/debugout.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A receiver wired to a store, a controllable clock and a captured debug channel.
struct Rx {
    TPacketBuffer store{1024};
    TPacketReceiver rx;
    uint32_t now = 1000;
    std::vector<std::string> debug;
    TDebugSink oldSink;
    int raised = 0;

    Rx() {
        rx.Store = &store;
        rx.Clock = [this] { return now; };
        rx.OnPacket = [this] { ++raised; };
        oldSink = SetDebugSink([this](const std::string& s) { debug.push_back(s); });
    }
    ~Rx() { SetDebugSink(oldSink); }

    void Feed(const TByteArray& b) { rx.Feed(b.data(), b.size()); }
    std::vector<TPacket> Take() {
        std::vector<TPacket> out;
        TPacket p;
        while (store.Get(p))
            out.push_back(p);
        return out;
    }
};

TByteArray Cat(TByteArray a, const TByteArray& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(Frame, ExampleFramesByteForByte) {
    EXPECT_EQ(MakeFrame(0x50, {}), (TByteArray{0xAA, 0xAA, 0xAA, 0x50, 0x00, 0x00, 0xDB, 0x87}));
    EXPECT_EQ(MakeFrame(0x06, {}), (TByteArray{0xAA, 0xAA, 0xAA, 0x06, 0x00, 0x00, 0x97, 0x26}));
    EXPECT_EQ(MakeFrame(0x07, {}), (TByteArray{0xAA, 0xAA, 0xAA, 0x07, 0x00, 0x00, 0x35, 0x4C}));
    EXPECT_EQ(MakeFrame(0x51, {0x41, 0x42}),
              (TByteArray{0xAA, 0xAA, 0xAA, 0x51, 0x02, 0x00, 0x41, 0x42, 0xB9, 0xA7}));
}

TEST(Frame, RefusesOverlongPayloadAndWritesNothing) {
    std::vector<uint8_t> out(MaxFrameLength + 16, 0x5A);
    TByteArray big(65536, 1);
    int32_t n = -1;
    EXPECT_EQ(BuildFrame(0x10, big.data(), big.size(), out.data(), n), E_INVALID_PARAMETER);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_TRUE(MakeFrame(0x10, big).empty());

    TPacket lying{0x10, 4, {1, 2}};
    EXPECT_EQ(BuildFrame(lying, out.data(), n), E_INVALID_PARAMETER);

    big.resize(65535);
    EXPECT_EQ(BuildFrame(0x10, big.data(), big.size(), out.data(), n), E_SUCCESS);
    EXPECT_EQ(n, MaxFrameLength);
    EXPECT_EQ(CrcUpdateLong(out.data(), size_t(n), CrcStart), 0);
}

TEST(Receiver, EmptyAndMaximalPayloads) {
    Rx r;
    r.Feed(MakeFrame(0x50, {}));
    TByteArray big(65535);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    r.Feed(MakeFrame(0x33, big));
    auto got = r.Take();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].CommandID, 0x50);
    EXPECT_EQ(got[0].Length, 0);
    EXPECT_TRUE(got[0].Payload.empty());
    EXPECT_EQ(got[1].Length, 65535);
    EXPECT_EQ(got[1].Payload, big);
    EXPECT_EQ(r.raised, 2);
}

TEST(Receiver, PreambleHunting) {
    Rx r;
    // A fourth 0xAA is the identifier, not preamble.
    r.Feed(MakeFrame(0xAA, {0x01}));
    // A foreign byte resets the count.
    r.Feed(Cat({0xAA, 0xAA, 0x00}, MakeFrame(0x50, {})));
    // Preamble bytes inside payload and checksum are plain data.
    r.Feed(MakeFrame(0x02, {0xAA, 0xAA, 0xAA, 0xAA}));
    auto got = r.Take();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].CommandID, 0xAA);
    EXPECT_EQ(got[0].Payload, TByteArray{0x01});
    EXPECT_EQ(got[1].CommandID, 0x50);
    EXPECT_EQ(got[2].Payload, (TByteArray{0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_TRUE(r.debug.empty());
}

TEST(Receiver, BadChecksumReportedOnceThenNextFrameGood) {
    Rx r;
    TByteArray bad = MakeFrame(0x51, {1, 2, 3});
    bad.back() ^= 0x01;
    r.Feed(Cat(bad, MakeFrame(0x52, {4})));
    auto got = r.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].CommandID, 0x52);
    ASSERT_EQ(r.debug.size(), 1u);
    EXPECT_EQ(r.debug[0], "Checksum mismatch");
    EXPECT_EQ(r.rx.ChecksumErrors(), 1u);
}

TEST(Receiver, PauseRule) {
    const TByteArray f = MakeFrame(0x40, {1, 2, 3, 4});
    auto feedSplit = [&](Rx& r, size_t at, uint32_t pause) {
        r.Feed(TByteArray(f.begin(), f.begin() + at));
        r.now += pause;
        r.Feed(TByteArray(f.begin() + at, f.end()));
    };
    { // Any pause between the preamble and the identifier is fine (position is 0 there).
        Rx r;
        feedSplit(r, 3, 100000);
        EXPECT_EQ(r.Take().size(), 1u);
    }
    { // More than 100 ms after the identifier drops the frame; exactly 100 does not.
        Rx r;
        feedSplit(r, 4, 101);
        EXPECT_TRUE(r.Take().empty());
        Rx ok;
        feedSplit(ok, 4, 100);
        EXPECT_EQ(ok.Take().size(), 1u);
    }
    { // Inside the payload and between the checksum bytes.
        Rx r;
        feedSplit(r, 8, 150);
        feedSplit(r, f.size() - 1, 150);
        EXPECT_TRUE(r.Take().empty());
        EXPECT_TRUE(r.debug.empty());
    }
    { // A partial preamble expires too; after a stalled frame 0xAA starts a new preamble.
        Rx r;
        r.Feed({0xAA, 0xAA});
        r.now += 200;
        r.Feed(Cat({0xAA}, TByteArray(f.begin() + 3, f.end())));
        EXPECT_TRUE(r.Take().empty());
        r.Feed(TByteArray(f.begin(), f.begin() + 6));
        r.now += 500;
        r.Feed(f);
        EXPECT_EQ(r.Take().size(), 1u);
    }
    { // The elapsed time is computed across a wrap of the tick counter.
        Rx r;
        r.now = 0xFFFFFFF0u;
        feedSplit(r, 5, 0x20);
        EXPECT_EQ(r.Take().size(), 1u);
    }
}

TEST(Receiver, SplitAtEveryByteBoundary) {
    TByteArray stream = Cat(MakeFrame(0x10, {0xAA, 0x01, 0xAA}), MakeFrame(0x11, {}));
    stream = Cat(stream, MakeFrame(0x12, TByteArray(300, 0xAA)));
    for (size_t a = 0; a <= stream.size(); ++a) {
        Rx r;
        r.Feed(TByteArray(stream.begin(), stream.begin() + a));
        r.Feed(TByteArray(stream.begin() + a, stream.end()));
        auto got = r.Take();
        ASSERT_EQ(got.size(), 3u) << "split at " << a;
        EXPECT_EQ(got[2].Payload.size(), 300u);
    }
    Rx r;
    for (uint8_t b : stream)
        r.rx.ProcessByte(b);
    EXPECT_EQ(r.Take().size(), 3u);
}

TEST(Receiver, ResetClearsStateAndFullStoreStillRaises) {
    Rx r;
    r.Feed({0xAA, 0xAA, 0xAA, 0x50, 0x02});
    EXPECT_TRUE(r.rx.State().Synced);
    r.rx.Reset();
    EXPECT_FALSE(r.rx.State().Synced);
    EXPECT_EQ(r.rx.State().Position, 0);
    EXPECT_EQ(r.rx.State().Crc, 0xFFFFu);

    TPacketBuffer tiny(1);
    r.rx.Store = &tiny;
    r.Feed(Cat(MakeFrame(1, {}), MakeFrame(2, {})));
    EXPECT_EQ(tiny.Count(), 1);
    EXPECT_EQ(r.raised, 2);
}

TEST(Receiver, NestedDeliveryKeepsStreamOrder) {
    // The first frame's handler delivers the bytes that arrived after the outer delivery,
    // as a nested event loop would. The outer delivery still holds the second frame.
    Rx r;
    const TByteArray later = MakeFrame(3, {3});
    bool nested = false;
    std::vector<int32_t> seenInHandler;
    r.rx.OnPacket = [&] {
        TPacket p;
        while (r.store.Get(p))
            seenInHandler.push_back(p.CommandID);
        if (!nested) {
            nested = true;
            r.rx.Feed(later.data(), later.size());
        }
    };
    r.Feed(Cat(MakeFrame(1, {1}), MakeFrame(2, {2})));
    EXPECT_EQ(seenInHandler, (std::vector<int32_t>{1, 2, 3}));
}

TEST(Receiver, NestedDeliveryOfAPartialFrame) {
    // The outer delivery ends in the middle of a frame; the nested one completes it.
    Rx r;
    const TByteArray f2 = MakeFrame(2, {9, 9, 9});
    const TByteArray outer = Cat(MakeFrame(1, {}), TByteArray(f2.begin(), f2.begin() + 5));
    const TByteArray rest(f2.begin() + 5, f2.end());
    std::vector<int32_t> order;
    r.rx.OnPacket = [&] {
        TPacket p;
        while (r.store.Get(p))
            order.push_back(p.CommandID);
        if (order.size() == 1)
            r.rx.Feed(rest.data(), rest.size());
    };
    r.Feed(outer);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 2}));
}

TEST(Receiver, ExceptionFromHandlerLeavesReceiverHunting) {
    Rx r;
    int calls = 0;
    r.rx.OnPacket = [&] {
        if (++calls == 1)
            throw std::runtime_error("handler failed");
    };
    const TByteArray stream = Cat(MakeFrame(1, {}), MakeFrame(2, {}));
    EXPECT_THROW(r.Feed(stream), std::runtime_error);
    // The frame after the failing one in the same delivery was still received.
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(r.rx.State().Synced);
    r.Feed(MakeFrame(3, {}));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(r.Take().size(), 3u);
}

namespace {
// A stream of good, corrupt and cut-off frames between runs of noise and stray preamble bytes.
TByteArray RandomStream(std::mt19937& rng) {
    TByteArray out;
    const int parts = 1 + int(rng() % 40);
    for (int i = 0; i < parts; ++i) {
        const unsigned kind = rng() % 8;
        if (kind < 4) {
            const size_t len = rng() % 4 == 0 ? rng() % 5000 : rng() % 40;
            TByteArray payload(len);
            const bool aa = rng() % 3 == 0;
            for (auto& b : payload)
                b = aa && rng() % 2 ? 0xAA : uint8_t(rng());
            TByteArray f = MakeFrame(rng() % 5 == 0 ? 0xAA : int32_t(rng() % 256), payload);
            if (kind == 1)
                f[3 + rng() % (f.size() - 3)] ^= uint8_t(1 + rng() % 255); // corrupt
            if (kind == 2)
                f.resize(rng() % f.size()); // cut off
            out.insert(out.end(), f.begin(), f.end());
        } else if (kind < 6) {
            out.insert(out.end(), 1 + rng() % 4, 0xAA);
        } else {
            for (size_t n = rng() % 20; n > 0; --n)
                out.push_back(uint8_t(rng()));
        }
    }
    return out;
}
} // namespace

TEST(Receiver, SameResultsAsOneByteAtATime) {
    // Random streams cut into random deliveries with pauses on both sides of the limit, some of
    // them delivered from inside OnPacket as a nested event loop would.
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const TByteArray stream = RandomStream(rng);
        Rx r;
        r.now = round % 2 ? 0xFFFFFF00u : 1000; // across the wrap of the tick counter
        TReferenceReceiver ref;
        std::vector<TPacket> got;
        size_t at = 0;
        int depth = 0;
        auto deliverNext = [&] {
            const uint32_t pauses[] = {0, 0, 0, 1, 100, 101, 5000};
            r.now += pauses[rng() % 7];
            const size_t n = std::min(stream.size() - at, size_t(1 + rng() % (rng() % 3 ? 64 : 6000)));
            ref.Feed(stream.data() + at, n, r.now);
            const uint8_t* d = stream.data() + at;
            at += n;
            r.rx.Feed(d, n);
        };
        r.rx.OnPacket = [&] {
            TPacket p;
            while (r.store.Get(p))
                got.push_back(p);
            if (depth < 3 && at < stream.size() && rng() % 4 == 0) {
                ++depth;
                deliverNext();
                --depth;
            }
        };
        while (at < stream.size()) {
            deliverNext();
            ASSERT_TRUE(ref.SameState(r.rx.State())) << "round " << round << " at " << at;
        }
        ASSERT_EQ(got.size(), ref.Packets.size()) << "round " << round;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].CommandID, ref.Packets[i].CommandID);
            EXPECT_EQ(got[i].Payload, ref.Packets[i].Payload);
        }
        EXPECT_EQ(r.rx.ChecksumErrors(), ref.ChecksumErrors);
        EXPECT_EQ(r.debug.size(), ref.ChecksumErrors);
    }
}
