// Each link fault, seen from the console's side of a real socket.
#include "SimClient.h"

#include "SimCommands.h"
#include "Simulator.h"

#include <gtest/gtest.h>

using namespace simtest;
using namespace zelsim;

namespace {

struct TFaultRig {
    explicit TFaultRig(const TFaultConfig& Faults, bool Udp = false) {
        EnsureApp();
        TSimConfig c;
        c.TcpPort = Udp ? -1 : 0;
        c.UdpPort = Udp ? 0 : -1;
        c.Faults = Faults;
        Sim = std::make_unique<TSimThread>(c);
        std::string error;
        Started = Sim->Start(&error);
        EXPECT_TRUE(Started) << error;
        Client = std::make_unique<TClient>(Udp ? UdpTransport(Sim->UdpPort()) : TcpTransport(Sim->TcpPort()));
        Client->RecordChunks = true;
    }
    std::unique_ptr<TSimThread> Sim;
    std::unique_ptr<TClient> Client;
    bool Started = false;
};

TFaultConfig With(void (*Set)(TFaultConfig&)) {
    TFaultConfig f;
    Set(f);
    return f;
}

} // namespace

TEST(Faults, DropLosesTheConfiguredShare) {
    TFaultRig all(With([](TFaultConfig& f) { f.DropShare = 1; }));
    all.Client->Send(LOOP, {1});
    EXPECT_FALSE(all.Client->Next(150));

    TFaultRig half(With([](TFaultConfig& f) {
        f.DropShare = 0.5;
        f.Seed = 7;
    }));
    for (int i = 0; i < 200; ++i)
        half.Client->Send(LOOP, {uint8_t(i)});
    const size_t got = half.Client->Collect(300).size();
    EXPECT_GT(got, 60u);
    EXPECT_LT(got, 140u);
}

TEST(Faults, CorruptChecksumsAreDroppedByTheReceiver) {
    TFaultRig rig(With([](TFaultConfig& f) { f.CorruptShare = 1; }));
    rig.Client->Send(LOOP, {1});
    rig.Client->Send(LOOP, {2});
    EXPECT_FALSE(rig.Client->Next(150));
    EXPECT_EQ(rig.Client->ChecksumErrors(), 2u);
}

TEST(Faults, WrongLengthShortensAnswersOnly) {
    TFaultRig rig(With([](TFaultConfig& f) { f.WrongLengthShare = 1; }));
    const auto loop = rig.Client->Exchange(LOOP, {1, 2, 3});
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Packet.Payload, (TByteArray{0, 0, 1, 2}));
    const auto status = rig.Client->Exchange(gripper::STOP);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->Packet.Payload.size(), 1u);
    const auto limits = rig.Client->Exchange(gripper::GET_SYSTEM_LIMITS);
    ASSERT_TRUE(limits);
    EXPECT_EQ(limits->Data().size(), 31u);
}

TEST(Faults, DelayKeepsTheOrder) {
    TFaultRig rig(With([](TFaultConfig& f) { f.DelayMs = 120; }));
    const auto sent = Clock::now();
    rig.Client->Send(LOOP, {1});
    rig.Client->Send(LOOP, {2});
    const auto a = rig.Client->Next(1000), b = rig.Client->Next(1000);
    ASSERT_TRUE(a && b);
    EXPECT_GE(Ms(sent, a->At), 120 - 2);
    EXPECT_EQ(a->Data(), TByteArray{1});
    EXPECT_EQ(b->Data(), TByteArray{2});
}

TEST(Faults, SplitWritesSendOneBytePerDatagram) {
    TFaultRig rig(With([](TFaultConfig& f) { f.SplitWrites = true; }), true);
    const auto rx = rig.Client->Exchange(LOOP, {5, 6});
    ASSERT_TRUE(rx);
    EXPECT_EQ(rx->Data(), (TByteArray{5, 6}));
    ASSERT_EQ(rig.Client->Chunks.size(), 12u);
    for (const auto& [at, chunk] : rig.Client->Chunks)
        EXPECT_EQ(chunk.size(), 1u);
}

TEST(Faults, PauseStallsInsideTheFrameLongEnoughToBreakIt) {
    TFaultRig udp(With([](TFaultConfig& f) {
                      f.PauseShare = 1;
                      f.PauseMs = 150;
                  }),
                  true);
    const auto sent = Clock::now();
    udp.Client->Send(LOOP, {1, 2, 3, 4});
    udp.Client->Send(LOOP, {5});
    (void)udp.Client->Collect(500);
    const auto& c = udp.Client->Chunks;
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].second.size() + c[1].second.size(), 14u);
    // Arrival times only bound the gaps from below when counted from the send.
    EXPECT_GE(Ms(sent, c[1].first), 150 - 2);
    EXPECT_GE(Ms(sent, c[2].first), 150 - 2); // the next frame waits behind the stalled one
    EXPECT_GE(Ms(sent, c[3].first), 300 - 2);

    // A receiver with the 100 ms limit throws both frames away.
    TFaultRig tcp(With([](TFaultConfig& f) { f.PauseShare = 1; }));
    tcp.Client->Send(LOOP, {1});
    EXPECT_FALSE(tcp.Client->Next(400));
}

TEST(Faults, GarbageBetweenFramesNeverLooksLikeAPreamble) {
    TFaultRig rig(With([](TFaultConfig& f) { f.GarbageBytes = 40; }), true);
    for (uint8_t i = 0; i < 5; ++i) {
        const auto rx = rig.Client->Exchange(LOOP, {i});
        ASSERT_TRUE(rx);
        EXPECT_EQ(rx->Data(), TByteArray{i});
    }
    ASSERT_EQ(rig.Client->Chunks.size(), 10u);
    for (size_t i = 0; i < 10; i += 2) {
        const TByteArray& noise = rig.Client->Chunks[i].second;
        EXPECT_EQ(noise.size(), 40u);
        EXPECT_EQ(std::count(noise.begin(), noise.end(), 0xAA), 0);
    }
}

TEST(Faults, BurstFollowsEveryAnswer) {
    TFaultRig rig(With([](TFaultConfig& f) { f.BurstCount = 300; }));
    const auto rx = rig.Client->Exchange(LOOP, {1});
    ASSERT_TRUE(rx);
    const auto burst = rig.Client->Collect(300);
    ASSERT_EQ(burst.size(), 300u);
    for (const TRx& r : burst) {
        EXPECT_EQ(r.Id(), gripper::GET_POS);
        EXPECT_EQ(r.Status(), E_SUCCESS);
    }
}

TEST(Faults, CloseAfterEndsTheConnectionAndAReconnectStartsAfresh) {
    TFaultRig rig(With([](TFaultConfig& f) { f.CloseAfter = 3; }));
    for (uint8_t i = 0; i < 3; ++i)
        ASSERT_TRUE(rig.Client->Exchange(LOOP, {i}));
    rig.Client->Send(LOOP, {4});
    EXPECT_FALSE(rig.Client->Next(200));
    EXPECT_FALSE(rig.Client->Transport().Connected());

    TClient again(TcpTransport(rig.Sim->TcpPort()));
    EXPECT_TRUE(again.Exchange(LOOP, {5}));
}

TEST(Faults, CanBeSwitchedWhileRunning) {
    TFaultRig rig(TFaultConfig{});
    ASSERT_TRUE(rig.Client->Exchange(LOOP, {1}));
    rig.Sim->Run([](TSimulator& s) {
        TFaultConfig f;
        f.DropShare = 1;
        s.SetFaults(f);
    });
    EXPECT_FALSE(rig.Client->Exchange(LOOP, {2}, 150));
    rig.Sim->Run([](TSimulator& s) { s.SetFaults({}); });
    EXPECT_TRUE(rig.Client->Exchange(LOOP, {3}));
}
