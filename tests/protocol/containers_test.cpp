#include "protocol/AsyncResultEventList.h"
#include "protocol/ByteQueue.h"
#include "protocol/ListenerList.h"
#include "protocol/PacketBufferClass.h"
#include "protocol/PacketListClass.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {
TPacket Pkt(int32_t id, TByteArray payload) {
    TPacket p;
    p.CommandID = id;
    p.Length = int32_t(payload.size());
    p.Payload = std::move(payload);
    return p;
}
} // namespace

TEST(PacketBuffer, FifoBoundsAndEmptyPayload) {
    TPacketBuffer store(1024);
    for (int i = 0; i < 1024; ++i)
        ASSERT_TRUE(store.Add(Pkt(i & 0xFF, {uint8_t(i), uint8_t(i >> 8)})));
    EXPECT_FALSE(store.Add(Pkt(0x77, {1})));
    EXPECT_EQ(store.Count(), 1024);

    TPacket p;
    ASSERT_TRUE(store.Get(p));
    EXPECT_EQ(p.CommandID, 0);
    EXPECT_EQ(p.Payload, (TByteArray{0, 0}));
    store.Clear();

    TPacket untouched = Pkt(9, {9});
    EXPECT_FALSE(store.Get(untouched));
    EXPECT_EQ(untouched.CommandID, 9);

    ASSERT_TRUE(store.Add(Pkt(0x50, {})));
    ASSERT_TRUE(store.Get(p));
    EXPECT_EQ(p.Length, 0);
    EXPECT_TRUE(p.Payload.empty());
}

TEST(PacketBuffer, StoresOnlyLengthBytesAndOwnsItsCopy) {
    TPacketBuffer store(4);
    TPacket in = Pkt(1, {1, 2, 3, 4});
    in.Length = 2;
    store.Add(in);
    in.Payload[0] = 99;
    TPacket out;
    store.Get(out);
    EXPECT_EQ(out.Payload, (TByteArray{1, 2}));

    // A packet handed over keeps to its Length the same way, whatever its array holds.
    struct {
        int32_t Length;
        TByteArray Stored;
    } const rows[] = {{2, {1, 2}}, {4, {1, 2, 3, 4}}, {9, {1, 2, 3, 4}}, {-1, {}}, {0, {}}};
    for (const auto& row : rows) {
        TPacket moved = Pkt(2, {1, 2, 3, 4});
        moved.Length = row.Length;
        ASSERT_TRUE(store.Add(std::move(moved)));
        ASSERT_TRUE(store.Get(out));
        EXPECT_EQ(out.Payload, row.Stored) << row.Length;
        EXPECT_EQ(out.Length, int32_t(row.Stored.size())) << row.Length;
    }
}

TEST(PacketList, IndexingDeleteAndBounds) {
    TPacketList list;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list.Add(Pkt(i, {uint8_t(i)})), i);
    list.Delete(0);
    ASSERT_EQ(list.Count(), 2);
    TPacket p;
    list.Get(0, p);
    EXPECT_EQ(p.CommandID, 1);
    list.Get(1, p);
    EXPECT_EQ(p.CommandID, 2);
    EXPECT_EQ(list.Count(), 2);

    try {
        list.Get(2, p);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (2)");
    }
    EXPECT_THROW(list.Delete(-1), EListError);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ByteQueue, HoldsOneLessThanSizeAndWraps) {
    TByteQueue q(4096);
    for (int i = 0; i < 4095; ++i)
        ASSERT_TRUE(q.Push(uint8_t(i)));
    EXPECT_TRUE(q.IsFull());
    EXPECT_FALSE(q.Push(0));
    uint8_t one;
    EXPECT_EQ(q.Read(&one, 1), 1);
    EXPECT_EQ(one, 0);
    EXPECT_TRUE(q.Push(0xEE));
    EXPECT_FALSE(q.Push(0xEF));

    // Drain everything: the order survives the wrap from the last slot to slot 0.
    std::vector<uint8_t> out(10000);
    EXPECT_EQ(q.Read(out.data(), 10000), 4095);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[4093], uint8_t(4094));
    EXPECT_EQ(out[4094], 0xEE);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.Read(out.data(), 5), 0);
}

TEST(ByteQueue, CountAcrossWrapAndResize) {
    TByteQueue q(8);
    uint8_t buf[8];
    for (int round = 0; round < 5; ++round) {
        for (uint8_t b = 0; b < 5; ++b)
            ASSERT_TRUE(q.Push(uint8_t(round * 10 + b)));
        EXPECT_EQ(q.Count(), 5);
        ASSERT_EQ(q.Read(buf, 3), 3);
        EXPECT_EQ(buf[0], round * 10);
        ASSERT_EQ(q.Read(buf, 8), 2);
        EXPECT_EQ(buf[1], round * 10 + 4);
    }
    q.Push(1);
    q.SetSize(16);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.Size(), 16);
}

TEST(AsyncResultEventList, RegisterReplacesLookupKeeps) {
    TAsyncResultEventList list;
    int first = 0, second = 0;
    list.Register(0x21, [&](TKORADevice*, int32_t, TStat, const TByteArray&) { ++first; });
    list.Register(0x22, [&](TKORADevice*, int32_t, TStat, const TByteArray&) {});
    list.Register(0x21, [&](TKORADevice*, int32_t, TStat, const TByteArray&) { ++second; });
    EXPECT_EQ(list.Count(), 2);

    auto h = list.Lookup(0x21);
    ASSERT_TRUE(h);
    h(nullptr, 0x21, E_SUCCESS, {});
    list.Lookup(0x21)(nullptr, 0x21, E_SUCCESS, {});
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);

    list.Unregister(0x21);
    list.Unregister(0x21);
    EXPECT_FALSE(list.Lookup(0x21));
    EXPECT_TRUE(list.Lookup(0x22));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ListenerList, EveryListenerHearsItAndEachOwnerTakesOutOnlyItsOwn) {
    TListenerList<int> list;
    std::vector<std::string> heard;
    int window = 0, log = 0, script = 0;
    list = [&](int V) { heard.push_back("program " + std::to_string(V)); };
    list.Add(&script, [&](int V) {
        heard.push_back("script " + std::to_string(V));
        list.Remove(&window); // a listener may take out a later one, or itself
        list.Remove(&script);
    });
    list.Add(&window, [&](int V) { heard.push_back("window " + std::to_string(V)); });
    list.Add(&log, [&](int) { throw std::runtime_error("log full"); });
    EXPECT_THROW(list(1), std::runtime_error); // raised after everyone heard it
    EXPECT_EQ(heard, (std::vector<std::string>{"program 1", "script 1"}));

    heard.clear();
    list.Add(&log, [&](int V) { heard.push_back("log " + std::to_string(V)); }); // replaces its own
    list = nullptr;                                                              // the program's only
    list(2);
    EXPECT_EQ(heard, (std::vector<std::string>{"log 2"}));
    EXPECT_TRUE(list.Has(&log));
    EXPECT_FALSE(list.Has(&window));
    list.Remove(&log);
    EXPECT_TRUE(list.Empty());
}
