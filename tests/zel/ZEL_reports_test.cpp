// Payload encodings, state report decoding and the gripper's tables; no link needed.
#include "TempSettingsFolder.h"
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"
#include "zel/ZEL_fields.h"
#include "protocol/convert.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
TPacket Report(int32_t ID, uint16_t Status, const TByteArray& Data) {
    TPacket p;
    p.CommandID = ID;
    p.Payload.resize(2 + Data.size());
    WriteWord(p.Payload.data(), Status);
    std::copy(Data.begin(), Data.end(), p.Payload.begin() + 2);
    p.Length = int32_t(p.Payload.size());
    return p;
}

TByteArray Float(float F) {
    TByteArray b(4);
    WriteSingle(b.data(), F);
    return b;
}

class ZELReports : public SettingsFolderTest {
protected:
    void SetUp() override {
        zel.OnSystemStateChange = [this](TKORADevice* S) { Count(S, system); };
        zel.OnGraspingStateChange = [this](TKORADevice* S) { Count(S, grasping); };
        zel.OnPositionChange = [this](TKORADevice* S) { Count(S, position); };
        zel.OnForceChange = [this](TKORADevice* S) { Count(S, force); };
    }
    void Count(TKORADevice* Sender, int& Counter) {
        EXPECT_EQ(Sender, &zel);
        ++Counter;
    }
    TZEL zel{nullptr};
    int system = 0, grasping = 0, position = 0, force = 0;
};
} // namespace

TEST(ZELPayloads, ByteForByte) {
    EXPECT_EQ(TZEL::TwoFloatPayload(8, 50), (TByteArray{0x00, 0x00, 0x00, 0x41, 0x00, 0x00, 0x48, 0x42}));
    EXPECT_EQ(TZEL::MovePayload(50, 50), (TByteArray{0x00, 0x00, 0x00, 0x48, 0x42, 0x00, 0x00, 0x48, 0x42}));
    EXPECT_EQ(TZEL::FastStopAckPayload, (TByteArray{0x61, 0x63, 0x6B}));
    EXPECT_EQ(TZEL::AutoUpdatePayload(true, 100, true), (TByteArray{0x03, 0x64, 0x00}));
    EXPECT_EQ(TZEL::AutoUpdatePayload(true, 0x1234, false), (TByteArray{0x01, 0x34, 0x12}));
    EXPECT_EQ(TZEL::AutoUpdatePayload(false, 100, true), (TByteArray{0x00, 0x00, 0x00}));
    EXPECT_EQ(TZEL::FloatPayload(-1.0f), (TByteArray{0x00, 0x00, 0x80, 0xBF}));
    // The window lists default, inwards, outwards; the wire numbers them 0, 2, 1.
    EXPECT_EQ(TZEL::HomeInwards, 2);
    EXPECT_EQ(TZEL::HomeOutwards, 1);
}

TEST(ZELTables, NamesFlagsAndGraspingStates) {
    TTempSettingsFolder folder;
    TZEL zel(nullptr);
    EXPECT_EQ(zel.CommandName(0x25), "GRASP");
    EXPECT_EQ(zel.CommandName(0x73), "FINGER1_GET_DATA");
    EXPECT_EQ(zel.CommandName(0x50), "GET_SYSINFO"); // falls through to the generic table
    EXPECT_EQ(zel.CommandName(0x53), "GET_SYSTEM_LIMITS");
    EXPECT_EQ(zel.CommandName(0x54), "unknown ID(84)");
    EXPECT_EQ(ZelCommandFields().size(), 31u);

    uint32_t all = 0;
    for (const TSysflagDescr& f : SystemStateFlags) {
        EXPECT_EQ(f.Mask & (f.Mask - 1), 0u) << f.Text; // one bit each
        EXPECT_EQ(all & f.Mask, 0u) << f.Text;
        all |= f.Mask;
    }
    EXPECT_EQ(all, 0x001FF3FFu); // 0x400, 0x800 and 0x200000 upward have no text
    EXPECT_EQ(SystemStateFlags[10].Text, "Fast stop");
    EXPECT_EQ(GraspingStateNames[3], "Part lost");
    EXPECT_EQ(GraspingStateNames[7], "ERROR");
}

TEST_F(ZELReports, SystemAndGraspingStateWithWrongLengths) {
    zel.PacketReceived(Report(0x40, 0, {0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(zel.SystemState, 0x00001000u);
    EXPECT_EQ(system, 1);
    // Flags from 0x10000 up ride in the upper half.
    zel.PacketReceived(Report(0x40, 0, {0x01, 0x10, 0x02, 0x80}));
    EXPECT_EQ(zel.SystemState, 0x80021001u);
    EXPECT_EQ(system, 2);
    zel.PacketReceived(Report(0x40, 0, {0x00, 0x10, 0x00}));
    EXPECT_EQ(zel.SystemState, 0u);
    EXPECT_EQ(system, 2);

    zel.PacketReceived(Report(0x41, 0, {3}));
    EXPECT_EQ(zel.GraspingState, 3);
    EXPECT_EQ(grasping, 1);
    // The same value fires again: the device decides about "only on change".
    zel.PacketReceived(Report(0x41, 0, {3}));
    EXPECT_EQ(grasping, 2);
    try {
        zel.PacketReceived(Report(0x41, 0, {8}));
        ADD_FAILURE() << "grasping state 8 accepted";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Source(), "src/zel/ZEL");
        EXPECT_EQ(e.Line(), 246);
        EXPECT_TRUE(std::string(e.what()).starts_with("Assertion failure"));
    }
    EXPECT_EQ(zel.GraspingState, 3);
    EXPECT_EQ(grasping, 2);
    zel.PacketReceived(Report(0x41, 0, {1, 2}));
    EXPECT_EQ(zel.GraspingState, 0);
    EXPECT_EQ(grasping, 2);
}

TEST_F(ZELReports, PositionAndForceIgnoreWrongLengths) {
    zel.PacketReceived(Report(0x43, 0, Float(55.5f)));
    zel.PacketReceived(Report(0x45, 0, Float(12.25f)));
    EXPECT_EQ(zel.Position, 55.5f);
    EXPECT_EQ(zel.Force, 12.25f);
    zel.PacketReceived(Report(0x43, 0, {1, 2, 3}));
    zel.PacketReceived(Report(0x45, 0, {1, 2, 3, 4, 5}));
    EXPECT_EQ(zel.Position, 55.5f);
    EXPECT_EQ(zel.Force, 12.25f);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(force, 1);
}

TEST_F(ZELReports, FailureStatusReachesTheHandlerButChangesNothing) {
    std::vector<std::pair<TStat, TByteArray>> calls;
    zel.AsyncResults().Register(0x40, [&](TKORADevice*, int32_t, TStat S, const TByteArray& D) {
        calls.push_back({S, D});
    });
    zel.SystemState = 7;
    zel.PacketReceived(Report(0x40, E_CMD_FAILED, {1, 0, 0, 0}));
    // A high byte is no success either: the handler hears of a failure.
    zel.PacketReceived(Report(0x40, 0x0100, {1, 0, 0, 0}));
    EXPECT_EQ(zel.SystemState, 7u);
    EXPECT_EQ(system, 0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, E_CMD_FAILED);
    EXPECT_EQ(calls[1].first, E_CMD_FAILED);
    EXPECT_EQ(calls[0].second, (TByteArray{1, 0, 0, 0}));

    // A one-byte payload reaches nobody; the registration stays for later packets.
    TPacket tiny;
    tiny.CommandID = 0x40;
    tiny.Length = 1;
    tiny.Payload = {0};
    zel.PacketReceived(tiny);
    EXPECT_EQ(calls.size(), 2u);
    zel.PacketReceived(Report(0x40, 0, {}));
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[2].second.empty());
}

TEST_F(ZELReports, DisconnectResetsStatesButKeepsPositionAndLimits) {
    int disconnects = 0;
    zel.OnDisconnect = [&](TKORADevice*) { ++disconnects; };
    zel.SystemState = 0x1004;
    zel.GraspingState = 4;
    zel.Position = 10;
    zel.Stroke = 110;
    zel.DoDisconnected(nullptr);
    EXPECT_EQ(zel.SystemState, 0u);
    EXPECT_EQ(zel.GraspingState, 0);
    EXPECT_EQ(zel.Position, 10.0f);
    EXPECT_EQ(zel.Stroke, 110.0f);
    EXPECT_EQ(disconnects, 1);
}
