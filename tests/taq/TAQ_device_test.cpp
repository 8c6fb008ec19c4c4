// The sensor's device check and disconnect over a link to a scripted peer.
#include "DeviceTestLink.h"
#include "ScriptedPeer.h"
#include "taq/TAQ.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {
class TAQDevice : public SettingsFolderTest {
protected:
    void SetUp() override {
        peer.SysInfoData = TScriptedPeer::SysInfo(4);
        answers[0x30] = {0, 0, 6, 0, 14, 0, 0x54, 0x01, 0x54, 0x01, 0xFF, 0x0F};
        answers[0x38] = {0, 0, 'p', 'i', 'e', 'z', 'o'};
        answers[0x37] = {0, 0, 255};
        answers[0x35] = {0, 0, 0x34, 0x12};
        peer.Responder = [this](TScriptedPeer& p, const TPacket& r) {
            const auto it = answers.find(r.CommandID);
            if (it != answers.end())
                p.Send(r.CommandID, it->second);
            else
                p.AnswerDefault(r);
        };
    }
    std::vector<int32_t> Queries() const {
        std::vector<int32_t> ids;
        for (const TPacket& p : peer.Received)
            if (p.CommandID != GET_SYSINFO && p.CommandID != ANNOUNCE_DISCONNECT)
                ids.push_back(p.CommandID);
        return ids;
    }

    TRecordingErrorHandler errors;
    std::unique_ptr<TTAQ> taq = std::make_unique<TTAQ>(nullptr);
    TScriptedPeer peer;
    std::unique_ptr<TDeviceTestLink> link = std::make_unique<TDeviceTestLink>(*taq);
    std::map<int32_t, TByteArray> answers;
};
} // namespace

TEST_F(TAQDevice, CheckReadsTheFourDescriptionsInOrder) {
    ASSERT_TRUE(link->Connect(peer.Port()));
    EXPECT_EQ(Queries(), (std::vector<int32_t>{0x30, 0x38, 0x37, 0x35}));
    EXPECT_EQ(taq->MatrixWidth, 6);
    EXPECT_EQ(taq->MatrixHeight, 14);
    EXPECT_EQ(taq->FrameData.Count(), 84);
    EXPECT_FLOAT_EQ(taq->SensorWidth, 6 * 3.4f);
    EXPECT_EQ(taq->TransducerType, QStringLiteral("piezo"));
    EXPECT_DOUBLE_EQ(taq->Gain, 100.0);
    EXPECT_EQ(taq->Threshold, 0x1234);
    EXPECT_EQ(errors.Count(), 0);

    answers[0x37] = {0, 0, 0};
    EXPECT_TRUE(taq->ReadGain());
    EXPECT_DOUBLE_EQ(taq->Gain, 0.0);
    answers[0x35] = {0, 0, 7}; // one byte where two are needed
    EXPECT_FALSE(taq->ReadThreshold());
    EXPECT_EQ(taq->Threshold, 0x1234);
    answers[0x38] = {0, 0};
    EXPECT_TRUE(taq->ReadTransducerType());
    EXPECT_EQ(taq->TransducerType, QString());
}

TEST_F(TAQDevice, OtherDevicesAndBadDescriptionsAreRefused) {
    peer.SysInfoData = TScriptedPeer::SysInfo(1);
    ASSERT_EQ(link->Open(peer.Port()), E_SUCCESS);
    ASSERT_TRUE(link->WaitConnectSequence());
    EXPECT_FALSE(link->Accepted());
    ASSERT_EQ(errors.Count(), 1);
    EXPECT_EQ(errors.Messages()[0], QStringLiteral("Connected device is not a TAQ"));
    EXPECT_TRUE(Queries().empty());

    // A matrix answer of the wrong length stops the check silently.
    errors.Clear();
    peer.SysInfoData = TScriptedPeer::SysInfo(4);
    answers[0x30].pop_back();
    ASSERT_EQ(link->Open(peer.Port()), E_SUCCESS);
    ASSERT_TRUE(link->WaitConnectSequence());
    EXPECT_FALSE(link->Accepted());
    EXPECT_EQ(Queries(), (std::vector<int32_t>{0x30}));
    EXPECT_EQ(taq->CellCount, 0);

    // An error in one of the queries closes the link, again without a message.
    answers[0x30] = {0, 0, 2, 0, 2, 0, 1, 0, 1, 0, 0, 0};
    answers[0x37] = {E_ACCESS_DENIED, 0};
    ASSERT_EQ(link->Open(peer.Port()), E_SUCCESS);
    ASSERT_TRUE(link->WaitConnectSequence());
    EXPECT_FALSE(link->Accepted());
    EXPECT_TRUE(WaitUntil([&] { return !taq->IsConnected(); }, 2000));
    EXPECT_EQ(errors.Count(), 0);
}

TEST_F(TAQDevice, DisconnectStopsARunningAcquisitionFirst) {
    ASSERT_TRUE(link->Connect(peer.Port()));
    TByteArray data;
    TStat status = E_SUCCESS;
    ASSERT_TRUE(taq->ExecuteCommand(TTAQ::CMD_ID_START_PERIODIC_ACQ, {}, data, status));
    EXPECT_TRUE(taq->PeriodicAcquisition);
    taq->Disconnect();
    EXPECT_FALSE(taq->PeriodicAcquisition);
    ASSERT_TRUE(WaitUntil([&] { return peer.CountOf(ANNOUNCE_DISCONNECT) == 1; }, 2000));
    const std::vector<int32_t> tail = {peer.Received[peer.Received.size() - 2].CommandID,
                                       peer.Received.back().CommandID};
    EXPECT_EQ(tail, (std::vector<int32_t>{TTAQ::CMD_ID_STOP_PERIODIC_ACQ, ANNOUNCE_DISCONNECT}));

    // Without acquisition only the announcement goes out; destroying a connected sensor disconnects it.
    ASSERT_TRUE(link->Connect(peer.Port()));
    const int stops = peer.CountOf(TTAQ::CMD_ID_STOP_PERIODIC_ACQ);
    link.reset();
    taq.reset();
    EXPECT_TRUE(WaitUntil([&] { return peer.CountOf(ANNOUNCE_DISCONNECT) == 2; }, 2000));
    EXPECT_EQ(peer.CountOf(TTAQ::CMD_ID_STOP_PERIODIC_ACQ), stops);
}

TEST_F(TAQDevice, ALostLinkEndsTheAcquisitionMark) {
    ASSERT_TRUE(link->Connect(peer.Port()));
    TByteArray data;
    TStat status = E_SUCCESS;
    ASSERT_TRUE(taq->ExecuteCommand(TTAQ::CMD_ID_START_PERIODIC_ACQ, {}, data, status));
    ASSERT_TRUE(taq->PeriodicAcquisition);
    peer.DropClient();
    ASSERT_TRUE(WaitUntil([&] { return !taq->IsConnected(); }, 2000));
    EXPECT_FALSE(taq->PeriodicAcquisition);

    // The next session has started nothing, so its disconnect must not send a stop (a gripper
    // on the same link would read it as STOP).
    ASSERT_TRUE(link->Connect(peer.Port()));
    taq->Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return peer.CountOf(ANNOUNCE_DISCONNECT) == 1; }, 2000));
    EXPECT_EQ(peer.CountOf(TTAQ::CMD_ID_STOP_PERIODIC_ACQ), 0);
}
