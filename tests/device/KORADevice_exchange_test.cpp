// The synchronous and asynchronous exchange against a scripted peer on loopback TCP.
#include "engine/CommandComponent.h"
#include "DeviceTestLink.h"
#include "device/KORADevice.h"
#include "RecordingCommLog.h"
#include "ScriptedPeer.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "protocol/convert.h"
#include "protocol/tick.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <gtest/gtest.h>

namespace {
constexpr uint8_t TEMP = CMD_ID_GET_TEMPERATURE;
constexpr uint8_t MOVE_ID = 0x21;

// The base class only logs received packets; every real device class also delivers results.
class TDeliveringDevice : public TKORADevice {
public:
    using TKORADevice::TKORADevice;
    void PacketReceived(const TPacket& Packet) override {
        TKORADevice::PacketReceived(Packet);
        DeliverAsyncResult(Packet);
    }
};

class DeviceExchange : public SettingsFolderTest {
protected:
    void SetUp() override {
        device.SetCommLog(&log);
        ASSERT_TRUE(link.Connect(peer.Port()));
        log.Entries.clear();
    }
    void TearDown() override { SetTickSource(nullptr); }

    // The engine's OnPacket is set again and no exchange counts as running.
    void ExpectRestored() {
        EXPECT_FALSE(device.Busy());
        EXPECT_TRUE(bool(device.Command()->OnPacket));
    }

    std::string ErrorOf(const std::function<void()>& Call) {
        try {
            Call();
        } catch (const EDuruzadUdror& e) {
            return e.what();
        }
        return "no EDuruzadUdror";
    }

    TRecordingErrorHandler errors;
    TDeliveringDevice device{nullptr};
    TScriptedPeer peer;
    TRecordingCommLog log;
    TDeviceTestLink link{device};
};
} // namespace

TEST_F(DeviceExchange, StatusOnlyAndShortDataAnswers) {
    TByteArray reply;
    peer.Responder = [&](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID == TEMP || r.CommandID == GET_SYSINFO)
            p.Send(r.CommandID, reply);
    };
    reply = {0, 0};
    TByteArray data{9, 9, 9};
    TStat status = E_CMD_FAILED;
    ASSERT_TRUE(device.ExecuteCommand(TEMP, {}, data, status));
    EXPECT_EQ(status, E_SUCCESS);
    EXPECT_EQ(data, (TByteArray{0, 0})); // two zero bytes, not an empty array
    EXPECT_FALSE(device.GetSystemInfo());

    reply = {0, 0, 0x06, 0xFF};
    EXPECT_DOUBLE_EQ(device.GetTemperature(), -25.0);
    // Fewer than two data bytes hold no reading: a failure, never 0.0 degrees.
    for (const TByteArray& shortReply : {TByteArray{0, 0}, TByteArray{0, 0, 0x7F}}) {
        reply = shortReply;
        EXPECT_EQ(ErrorOf([&] { device.GetTemperature(); }),
                  "Response to command CMD_ID_GET_TEMPERATURE holds no temperature");
    }
    ExpectRestored();

    // Sent packets are logged before the answer, received ones as they are taken.
    ASSERT_GE(log.Entries.size(), 2u);
    EXPECT_FALSE(log.Entries[0].Received);
    EXPECT_EQ(log.Entries[0].Packet.CommandID, TEMP);
    EXPECT_TRUE(log.Entries[1].Received);
}

TEST_F(DeviceExchange, PendingRegistersHandlerForEveryLaterResult) {
    std::vector<TStat> finals;
    auto handler = [&](TKORADevice* Sender, int32_t ID, TStat Status, const TByteArray& Data) {
        EXPECT_EQ(Sender, &device);
        EXPECT_EQ(ID, MOVE_ID);
        EXPECT_TRUE(Data.empty());
        finals.push_back(Status);
    };
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID != MOVE_ID)
            return;
        p.SendStatus(MOVE_ID, E_CMD_PENDING);
        QTimer::singleShot(20, &p, [&p] { p.SendStatus(MOVE_ID, E_SUCCESS); });
        QTimer::singleShot(40, &p, [&p] { p.SendStatus(MOVE_ID, E_AXIS_BLOCKED); });
    };
    EXPECT_EQ(device.ExecuteAsyncCommand(MOVE_ID, {0}, handler), E_CMD_PENDING);
    ASSERT_TRUE(WaitUntil([&] { return finals.size() == 2; }));
    EXPECT_EQ(finals, (std::vector<TStat>{E_SUCCESS, E_AXIS_BLOCKED}));

    // An answer of E_SUCCESS at once registers nothing and drops the earlier handler.
    peer.Responder = nullptr;
    EXPECT_EQ(device.ExecuteAsyncCommand(MOVE_ID, {0}, handler), E_SUCCESS);
    peer.SendStatus(MOVE_ID, E_SUCCESS);
    ProcessEventsFor(50);
    EXPECT_EQ(finals.size(), 2u);
    EXPECT_EQ(device.AsyncResults().Count(), 0);
}

TEST_F(DeviceExchange, ResultArrivingWithTheFirstAnswerIsNotStranded) {
    // The final result comes in the same segment as the pending answer, and nothing follows it:
    // it must still reach the handler registered after the exchange returned.
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID == MOVE_ID)
            p.SendTogether({MakeTestPacket(MOVE_ID, {E_CMD_PENDING, 0}), MakeTestPacket(MOVE_ID, {0, 0})});
    };
    int calls = 0;
    EXPECT_EQ(device.ExecuteAsyncCommand(MOVE_ID, {0}, [&](auto...) { ++calls; }), E_CMD_PENDING);
    EXPECT_TRUE(WaitUntil([&] { return calls == 1; }, 2000));
    EXPECT_EQ(device.Command()->PacketCount(), 0);
}

TEST_F(DeviceExchange, FailureStatusesLookAtAll16Bits) {
    uint16_t status = E_CMD_UNKNOWN;
    peer.Responder = [&](TScriptedPeer& p, const TPacket& r) { p.SendStatus(r.CommandID, status); };
    EXPECT_EQ(ErrorOf([&] { device.GetSystemInfo(); }), "Command GET_SYSINFO failed: Unknown command");
    ExpectRestored();

    // A high byte makes any status a failure, also one whose low byte reads as success or pending.
    status = 0x0100;
    EXPECT_EQ(ErrorOf([&] { device.GetSystemInfo(); }),
              "Command GET_SYSINFO failed: Internal error, unknown error code (256)");
    status = 0x011A;
    int calls = 0;
    EXPECT_EQ(ErrorOf([&] { device.ExecuteAsyncCommand(MOVE_ID, {}, [&](auto...) { ++calls; }); }),
              "Command unknown ID(33) failed: Internal error, unknown error code (282)");
    EXPECT_EQ(device.AsyncResults().Count(), 0);
    ExpectRestored();
}

TEST_F(DeviceExchange, ShortAnswerRaises) {
    TByteArray reply{0x00};
    peer.Responder = [&](TScriptedPeer& p, const TPacket& r) { p.Send(r.CommandID, reply); };
    QString tag = QStringLiteral("kept");
    EXPECT_EQ(ErrorOf([&] { device.GetDeviceTag(tag); }),
              "Response to command GET_DEVICE_TAG is smaller than 2 bytes");
    reply.clear();
    EXPECT_EQ(ErrorOf([&] { device.GetDeviceTag(tag); }),
              "Response to command GET_DEVICE_TAG is smaller than 2 bytes");
    EXPECT_EQ(tag, QStringLiteral("kept"));
    ExpectRestored();
}

TEST_F(DeviceExchange, TimeoutAfterTheLimitAlsoAcrossATickWrap) {
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID != TEMP)
            p.AnswerDefault(r);
    };
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorOf([&] { device.GetTemperature(); }),
              "Timeout while waiting for response of command CMD_ID_GET_TEMPERATURE");
    EXPECT_GE(clock.elapsed(), 1990);
    ExpectRestored();

    // The counter wraps 300 ms into the wait; a deadline compared with "tick above" would give
    // up at once or never. A watchdog drops the link so that a broken wait cannot hang the test.
    const auto start = std::chrono::steady_clock::now();
    SetTickSource([start] {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        return uint32_t(0xFFFFFFFFu - 300u + uint32_t(ms.count()));
    });
    QTimer::singleShot(6000, &peer, [this] { peer.DropClient(); });
    clock.restart();
    EXPECT_EQ(ErrorOf([&] { device.GetTemperature(); }),
              "Timeout while waiting for response of command CMD_ID_GET_TEMPERATURE");
    EXPECT_GE(clock.elapsed(), 1990);
    EXPECT_LT(clock.elapsed(), 5500);
}

TEST_F(DeviceExchange, NestedCallIsRefusedAndSendsNothing) {
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID == GET_SYSINFO)
            QTimer::singleShot(150, &p, [&p] { p.SendStatus(GET_SYSINFO, E_SUCCESS, p.SysInfoData); });
        else
            p.AnswerDefault(r);
    };
    bool nestedRan = false;
    bool nestedResult = true;
    TByteArray nestedData{7};
    TStat nestedStatus = E_CMD_ABORTED;
    QTimer::singleShot(30, &peer, [&] {
        EXPECT_TRUE(device.Busy());
        nestedResult = device.ExecuteCommand(TEMP, {}, nestedData, nestedStatus);
        nestedRan = true;
    });
    EXPECT_TRUE(device.GetSystemInfo());
    EXPECT_TRUE(nestedRan);
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(nestedData, TByteArray{7});
    EXPECT_EQ(nestedStatus, E_CMD_ABORTED);
    EXPECT_EQ(peer.CountOf(TEMP), 0);
    ExpectRestored();
}

TEST_F(DeviceExchange, ForeignPacketsAreHandledDuringTheWaitInOrder) {
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID != TEMP)
            return p.AnswerDefault(r);
        p.SendStatus(0x40, E_SUCCESS, {1, 0, 0, 0});
        p.Send(0x99, {});
        QTimer::singleShot(20, &p, [&p] { p.SendStatus(TEMP, E_SUCCESS, {0xFA, 0x00}); });
    };
    int foreign = 0;
    device.AsyncResults().Register(0x40, [&](auto...) { ++foreign; });
    EXPECT_DOUBLE_EQ(device.GetTemperature(), 25.0);
    EXPECT_EQ(foreign, 1);
    EXPECT_EQ(log.ReceivedIDs(), (std::vector<int32_t>{0x40, 0x99, TEMP}));
}

TEST_F(DeviceExchange, AForeignPacketThatFailsIsReportedAndTheExchangeStillEnds) {
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        p.Send(0x99, {0, 0});
        p.AnswerDefault(r);
    };
    log.ThrowOnReceivedID = 0x99;
    TByteArray data;
    TStat status = E_CMD_FAILED;
    EXPECT_TRUE(device.ExecuteCommand(TEMP, {}, data, status));
    EXPECT_EQ(status, E_SUCCESS);
    EXPECT_TRUE(errors.WaitFor(1, 1000));
    ExpectRestored();
}

TEST_F(DeviceExchange, UrgentCommandGoesOutWhileAnotherExchangeWaits) {
    // TEMP is answered late; a stop sent meanwhile is answered at once and matched by its own
    // identifier, while the waiting exchange keeps its own answer. An ordinary command is refused.
    constexpr uint8_t STOP_ID = 0x22;
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID == TEMP)
            QTimer::singleShot(400, &p, [&p] { p.SendStatus(TEMP, E_SUCCESS, {0xFA, 0x00}); });
        else
            p.AnswerDefault(r);
    };
    bool urgentSent = false;
    bool ordinarySent = true;
    TStat urgentStatus = E_CMD_FAILED;
    int tempAnswersBeforeUrgentReturned = -1;
    QTimer::singleShot(50, &peer, [&] {
        TByteArray data;
        TStat status = E_CMD_FAILED;
        ordinarySent = device.ExecuteCommand(GET_SYSINFO, {}, data, status);
        urgentSent = device.ExecuteUrgentCommand(STOP_ID, {}, data, urgentStatus);
        tempAnswersBeforeUrgentReturned = int(log.ReceivedIDs().size());
        EXPECT_TRUE(device.Busy()); // the outer exchange still waits
    });
    const size_t sentBefore = peer.Received.size();
    const int sysInfoBefore = peer.CountOf(GET_SYSINFO);
    QElapsedTimer clock;
    clock.start();
    EXPECT_DOUBLE_EQ(device.GetTemperature(), 25.0);
    EXPECT_TRUE(urgentSent);
    EXPECT_EQ(urgentStatus, E_SUCCESS);
    EXPECT_FALSE(ordinarySent);
    EXPECT_EQ(peer.CountOf(GET_SYSINFO), sysInfoBefore);
    ASSERT_EQ(peer.Received.size(), sentBefore + 2);
    EXPECT_EQ(peer.Received.back().CommandID, STOP_ID); // went out before TEMP was answered
    EXPECT_EQ(tempAnswersBeforeUrgentReturned, 1);      // only the stop's own answer
    EXPECT_LT(clock.elapsed(), 1500);
    ExpectRestored();
}

TEST_F(DeviceExchange, ReportsKeepFlowingWhileANestedLoopBlocksTheWait) {
    // A message box opened during the wait runs its own loop; reports must not pile up behind
    // the waiting exchange, and the answer that came meanwhile still ends the exchange.
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID != TEMP)
            return p.AnswerDefault(r);
        for (int i = 0; i < 20; ++i)
            QTimer::singleShot(10 * i, &p, [&p] { p.SendStatus(0x43, E_SUCCESS, {0, 0, 0, 0}); });
        QTimer::singleShot(100, &p, [&p] { p.SendStatus(TEMP, E_SUCCESS, {0xFA, 0x00}); });
    };
    size_t seenInsideBox = 0;
    QTimer::singleShot(20, &peer, [&] {
        QEventLoop box;
        QTimer::singleShot(600, &box, &QEventLoop::quit);
        box.exec();
        seenInsideBox = log.ReceivedIDs().size();
        EXPECT_EQ(device.Command()->PacketCount(), 0);
    });
    EXPECT_DOUBLE_EQ(device.GetTemperature(), 25.0);
    EXPECT_EQ(seenInsideBox, 21u);
    ExpectRestored();
}

TEST_F(DeviceExchange, ALateAnswerInsideTheLimitIsTakenWhileReportsStream) {
    // Reports every 20 ms wake the wait often; the answer 1.5 s late is still accepted, and a
    // request never answered gives up at the limit, not at the first report after half of it.
    bool answer = true;
    QTimer reports;
    QObject::connect(&reports, &QTimer::timeout, &peer, [&] {
        peer.SendStatus(0x40, E_SUCCESS, {0, 0, 0, 0});
    });
    reports.start(20);
    peer.Responder = [&](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID == TEMP && answer)
            QTimer::singleShot(1500, &p, [&p] { p.SendStatus(TEMP, E_SUCCESS, {0x0A, 0x00}); });
    };
    EXPECT_DOUBLE_EQ(device.GetTemperature(), 1.0);
    EXPECT_GT(log.ReceivedIDs().size(), 20u);

    answer = false;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorOf([&] { device.GetTemperature(); }),
              "Timeout while waiting for response of command CMD_ID_GET_TEMPERATURE");
    EXPECT_GE(clock.elapsed(), 1990);
    ExpectRestored();
}

TEST_F(DeviceExchange, UnsolicitedPacketsAreAllHandledWhenOneFails) {
    log.ThrowOnReceivedID = 0x40;
    peer.SendTogether(
        {MakeTestPacket(0x40, {0, 0}), MakeTestPacket(0x41, {0, 0}), MakeTestPacket(0x43, {0, 0})});
    EXPECT_TRUE(WaitUntil([&] { return log.ReceivedIDs().size() == 3; }, 2000));
    EXPECT_EQ(device.Command()->PacketCount(), 0);
    EXPECT_TRUE(errors.WaitFor(1, 2000));
}

TEST_F(DeviceExchange, DeviceTagIsCutTo64BytesAndABareStatusReadsEmpty) {
    const QString longTag(70, QLatin1Char('x'));
    device.SetDeviceTag(longTag);
    ASSERT_NE(peer.Last(SET_DEVICE_TAG), nullptr);
    EXPECT_EQ(peer.Last(SET_DEVICE_TAG)->Payload, TByteArray(64, 'x'));

    TByteArray reply{0, 0};
    peer.Responder = [&](TScriptedPeer& p, const TPacket& r) { p.Send(r.CommandID, reply); };
    QString tag = QStringLiteral("old");
    device.GetDeviceTag(tag);
    EXPECT_EQ(tag, QString());
    reply = {0, 0, 'A', 0, 0xE9};
    device.GetDeviceTag(tag);
    EXPECT_EQ(tag, QString(QStringLiteral("A")) + QChar(0) + QChar(0xE9));
}

TEST_F(DeviceExchange, LostLinkEndsTheWaitWithoutWaitingOutTheLimit) {
    peer.Responder = [](TScriptedPeer& p, const TPacket& r) {
        if (r.CommandID == TEMP)
            QTimer::singleShot(20, &p, [&p] { p.DropClient(); });
    };
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorOf([&] { device.GetTemperature(); }),
              "Timeout while waiting for response of command CMD_ID_GET_TEMPERATURE");
    EXPECT_LT(clock.elapsed(), 1900);
    ExpectRestored();
}
