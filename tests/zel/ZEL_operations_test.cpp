// Gripper operations over a link to a scripted peer: what goes on the wire, results, device check.
#include "engine/CommandComponent.h"
#include "DeviceTestLink.h"
#include "ScriptedPeer.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "zel/ZEL.h"
#include "protocol/convert.h"

#include <QTimer>

#include <gtest/gtest.h>

namespace {
TByteArray Limits(int Count = 8) {
    const float values[8] = {110, 5, 420, 100, 5000, 5, 80, 120};
    TByteArray d(size_t(4 * Count));
    for (int i = 0; i < Count; ++i)
        WriteSingle(&d[size_t(4 * i)], values[i]);
    return d;
}

class ZELOperations : public SettingsFolderTest {
protected:
    void SetUp() override {
        peer.Responder = [this](TScriptedPeer& p, const TPacket& r) { Answer(p, r); };
    }
    void Answer(TScriptedPeer& p, const TPacket& r) {
        const auto it = answers.find(r.CommandID);
        if (it != answers.end())
            return p.Send(r.CommandID, it->second);
        if (r.CommandID == TZEL::GET_SYSTEM_LIMITS)
            return p.SendStatus(r.CommandID, E_SUCCESS, limits);
        p.AnswerDefault(r);
    }

    TRecordingErrorHandler errors;
    TZEL zel{nullptr};
    TScriptedPeer peer;
    TDeviceTestLink link{zel};
    std::map<int32_t, TByteArray> answers; // full payloads by identifier
    TByteArray limits = Limits();
};
} // namespace

TEST_F(ZELOperations, AcceptsGrippersAndReadsTheirLimits) {
    for (uint8_t type : {1, 2, 5, 6}) {
        peer.SysInfoData = TScriptedPeer::SysInfo(type);
        zel.Stroke = 0;
        ASSERT_TRUE(link.Connect(peer.Port())) << int(type);
        EXPECT_EQ(zel.Stroke, 110.0f);
        EXPECT_EQ(zel.MaxSpeed, 420.0f);
        EXPECT_EQ(zel.MaxAcceleration, 5000.0f);
        EXPECT_EQ(zel.OverdriveForce, 120.0f);
        zel.Disconnect();
    }
    EXPECT_EQ(errors.Count(), 0);
}

TEST_F(ZELOperations, RefusesOtherDeviceTypesAndClosesTheLink) {
    for (uint8_t type : {3, 4, 0x81}) {
        errors.Clear();
        peer.SysInfoData = TScriptedPeer::SysInfo(type);
        ASSERT_EQ(link.Open(peer.Port()), E_SUCCESS);
        ASSERT_TRUE(link.WaitConnectSequence());
        EXPECT_FALSE(link.Accepted()) << int(type);
        ASSERT_EQ(errors.Count(), 1);
        EXPECT_EQ(errors.Messages()[0], QStringLiteral("Connected device is not a ZEL Series Gripper"));
        // Left open, the link would keep its port while the window shows no connection.
        EXPECT_FALSE(zel.IsConnected());
        EXPECT_EQ(peer.CountOf(TZEL::GET_SYSTEM_LIMITS), 0);
    }
}

TEST_F(ZELOperations, ShortOrFailingLimitsFailTheCheck) {
    limits = Limits(7);
    ASSERT_EQ(link.Open(peer.Port()), E_SUCCESS);
    ASSERT_TRUE(link.WaitConnectSequence());
    EXPECT_FALSE(link.Accepted());
    EXPECT_EQ(zel.Stroke, 0.0f); // nothing half-read
    EXPECT_FALSE(zel.IsConnected());
    EXPECT_EQ(zel.ConnectFailure(),
              "Connecting failed: the answer to the system limits request is incomplete");

    // An error while reading them closes the link and names the step, not as an error box.
    answers[TZEL::GET_SYSTEM_LIMITS] = {E_CMD_UNKNOWN, 0};
    ASSERT_EQ(link.Open(peer.Port()), E_SUCCESS);
    ASSERT_TRUE(link.WaitConnectSequence());
    EXPECT_FALSE(link.Accepted());
    EXPECT_TRUE(WaitUntil([&] { return !zel.IsConnected(); }, 2000));
    EXPECT_EQ(zel.ConnectFailure(), "Connecting failed: the system limits request failed: Command "
                                    "GET_SYSTEM_LIMITS failed: Unknown command");
    EXPECT_EQ(errors.Count(), 0);
}

TEST_F(ZELOperations, OperationsSendTheirPayloads) {
    ASSERT_TRUE(link.Connect(peer.Port()));
    EXPECT_EQ(zel.Grasp(8, 50), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x25)->Payload, TZEL::TwoFloatPayload(8, 50));
    EXPECT_EQ(zel.Move(50, 50), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x21)->Payload, TZEL::MovePayload(50, 50));
    EXPECT_EQ(zel.Release(30, 20), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x26)->Payload, TZEL::TwoFloatPayload(30, 20));
    EXPECT_EQ(zel.Homing(TZEL::HomeInwards), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x20)->Payload, TByteArray{0x02});
    EXPECT_EQ(zel.FastStopAck(), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x24)->Payload, (TByteArray{0x61, 0x63, 0x6B}));
    EXPECT_EQ(zel.Stop(), E_SUCCESS);
    EXPECT_TRUE(peer.Last(0x22)->Payload.empty());
    EXPECT_EQ(zel.FastStop(), E_SUCCESS);
    EXPECT_EQ(zel.SetAcceleration(500), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x30)->Payload, TZEL::FloatPayload(500));
    EXPECT_EQ(zel.SetForceLimit(20), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x32)->Payload, TZEL::FloatPayload(20));

    EXPECT_EQ(zel.AutoUpdateSystemState(true, 50, true), E_SUCCESS);
    EXPECT_EQ(zel.AutoUpdateGraspingState(true, 50, false), E_SUCCESS);
    EXPECT_EQ(zel.AutoUpdatePosition(true, 100, true), E_SUCCESS);
    EXPECT_EQ(zel.AutoUpdateForce(false, 100, true), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x40)->Payload, (TByteArray{0x03, 50, 0}));
    EXPECT_EQ(peer.Last(0x41)->Payload, (TByteArray{0x01, 50, 0}));
    EXPECT_EQ(peer.Last(0x43)->Payload, (TByteArray{0x03, 0x64, 0x00}));
    EXPECT_EQ(peer.Last(0x45)->Payload, (TByteArray{0x00, 0x00, 0x00}));
}

TEST_F(ZELOperations, QueriesCheckLengthsAndWriteOnlyOnSuccess) {
    ASSERT_TRUE(link.Connect(peer.Port()));
    TByteArray acc = {0, 0};
    const TByteArray v = TZEL::FloatPayload(750);
    acc.insert(acc.end(), v.begin(), v.end());
    answers[0x31] = acc;
    float value = -1;
    EXPECT_EQ(zel.GetAcceleration(value), E_SUCCESS);
    EXPECT_EQ(value, 750.0f);

    answers[0x33] = {0, 0, 1, 2, 3}; // three data bytes
    value = -1;
    EXPECT_EQ(zel.GetForceLimit(value), E_CMD_FAILED);
    EXPECT_EQ(value, -1.0f);
    answers[0x33] = {E_CMD_PENDING, 0, 1, 2, 3, 4};
    EXPECT_EQ(zel.GetForceLimit(value), E_CMD_PENDING);
    EXPECT_EQ(value, -1.0f);

    answers[0x42] = {0, 0, 0x10, 0x27, 0x01, 0x80, 0xFF, 0xFF, 3, 0};
    TGraspingStats stats;
    EXPECT_EQ(zel.GetGraspingStats(stats, true), E_SUCCESS);
    EXPECT_EQ(peer.Last(0x42)->Payload, TByteArray{0x01});
    EXPECT_EQ(stats.Grasps, 0x80012710u);
    EXPECT_EQ(stats.PartsNotFound, 65535u); // widened without sign
    EXPECT_EQ(stats.PartsLost, 3u);
    answers[0x42] = {0, 0, 1};
    EXPECT_EQ(zel.GetGraspingStats(stats, false), E_CMD_FAILED);
    EXPECT_EQ(peer.Last(0x42)->Payload, TByteArray{0x00});
    EXPECT_EQ(stats.Grasps, 0x80012710u);

    answers[0x30] = {E_RANGE_ERROR, 0};
    EXPECT_THROW(zel.SetAcceleration(1e6f), EDuruzadUdror);
}

TEST_F(ZELOperations, RefusedExchangesReportTheirCodes) {
    float value = 0;
    TGraspingStats stats;
    EXPECT_EQ(zel.Move(1, 1), E_NOT_OPENED);
    EXPECT_EQ(zel.Stop(), E_CMD_FAILED);
    EXPECT_EQ(zel.GetAcceleration(value), E_CMD_FAILED);
    EXPECT_EQ(zel.GetGraspingStats(stats, false), E_CMD_FAILED);
    EXPECT_FALSE(zel.ReadSystemLimits());

    ASSERT_TRUE(link.Connect(peer.Port()));
    const size_t sent = peer.Received.size();
    // A click while another exchange waits: refused at once, nothing sent.
    peer.Responder = [this](TScriptedPeer& p, const TPacket& r) {
        QTimer::singleShot(100, &p, [this, &p, r] { Answer(p, r); });
    };
    TStat nested = E_SUCCESS;
    TStat fastStop = E_CMD_FAILED;
    QTimer::singleShot(20, &peer, [&] {
        nested = zel.Grasp(8, 50);
        // A stop is never held back: it goes out and gets its own answer.
        fastStop = zel.FastStop();
    });
    EXPECT_EQ(zel.Stop(), E_SUCCESS);
    EXPECT_EQ(nested, E_CMD_FAILED);
    EXPECT_EQ(fastStop, E_SUCCESS);
    ASSERT_EQ(peer.Received.size(), sent + 2);
    EXPECT_EQ(peer.Received.back().CommandID, TZEL::FAST_STOP);
}

TEST_F(ZELOperations, TwoFinalResultsOfOneGraspBothArrive) {
    ASSERT_TRUE(link.Connect(peer.Port()));
    answers[0x25] = {E_CMD_PENDING, 0};
    std::vector<TStat> finals;
    EXPECT_EQ(
        zel.Grasp(8, 50, [&](TKORADevice*, int32_t, TStat S, const TByteArray&) { finals.push_back(S); }),
        E_CMD_PENDING);
    peer.SendStatus(0x25, E_SUCCESS);
    peer.SendStatus(0x25, E_CMD_ABORTED);
    EXPECT_TRUE(WaitUntil([&] { return finals.size() == 2; }, 2000));
    EXPECT_EQ(finals, (std::vector<TStat>{E_SUCCESS, E_CMD_ABORTED}));
}
