// The exchange semantics of the device layer against the simulator over loopback TCP.
#include "engine/CommandComponent.h"
#include "DeviceTestLink.h"
#include "RecordingCommLog.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "zel/ZEL.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {
class DeviceExchangeE2E : public SettingsFolderTest {
protected:
    void SetUp() override {
        zelsim::TSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.Gripper.StartReferenced = true;
        cfg.Gripper.Limits.MaxSpeed = 2000;
        Sim = std::make_unique<zelsim::TSimThread>(cfg);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
        Zel.SetCommLog(&Log);
        ASSERT_TRUE(Link.Connect(Sim->TcpPort()));
    }
    void TearDown() override {
        Zel.Disconnect();
        Sim.reset();
    }
    void SetFaults(const zelsim::TFaultConfig& Faults) {
        Sim->Run([Faults](zelsim::TSimulator& S) { S.SetFaults(Faults); });
    }
    std::string ErrorOf(const std::function<void()>& Call) {
        try {
            Call();
        } catch (const EDuruzadUdror& e) {
            return e.what();
        }
        return "no EDuruzadUdror";
    }

    TRecordingErrorHandler Errors;
    std::unique_ptr<zelsim::TSimThread> Sim;
    TZEL Zel{nullptr};
    TRecordingCommLog Log;
    TDeviceTestLink Link{Zel};
};
} // namespace

TEST_F(DeviceExchangeE2E, StatusOnlyPendingAndRepeatedFinalResults) {
    TByteArray data;
    TStat status = E_CMD_FAILED;
    ASSERT_TRUE(Zel.ExecuteCommand(TZEL::STOP, {}, data, status));
    EXPECT_EQ(status, E_SUCCESS);
    EXPECT_EQ(data, (TByteArray{0, 0}));

    std::vector<TStat> finals;
    auto handler = [&](TKORADevice*, int32_t ID, TStat S, const TByteArray&) {
        EXPECT_EQ(ID, TZEL::MOVE);
        finals.push_back(S);
    };
    EXPECT_EQ(Zel.Move(40, 1000, handler), E_CMD_PENDING);
    ASSERT_TRUE(WaitUntil([&] { return finals.size() == 1; }, 5000));
    EXPECT_EQ(Zel.Move(60, 1000, handler), E_CMD_PENDING);
    ASSERT_TRUE(WaitUntil([&] { return finals.size() == 2; }, 5000));
    EXPECT_EQ(finals, (std::vector<TStat>{E_SUCCESS, E_SUCCESS}));
    EXPECT_EQ(Errors.Count(), 0);
}

TEST_F(DeviceExchangeE2E, FailureTimeoutAndShortAnswers) {
    TByteArray data;
    TStat status = E_SUCCESS;
    EXPECT_EQ(ErrorOf([&] { Zel.ExecuteCommand(0x99, {}, data, status); }),
              "Command unknown ID(153) failed: Unknown command");

    zelsim::TFaultConfig faults;
    faults.WrongLengthShare = 1;
    SetFaults(faults);
    EXPECT_EQ(ErrorOf([&] { Zel.Stop(); }), "Response to command STOP is smaller than 2 bytes");

    faults = {};
    faults.DropShare = 1;
    SetFaults(faults);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorOf([&] { Zel.GetTemperature(); }),
              "Timeout while waiting for response of command CMD_ID_GET_TEMPERATURE");
    EXPECT_GE(clock.elapsed(), 1990);
    EXPECT_FALSE(Zel.Busy());

    SetFaults({});
    EXPECT_NEAR(Zel.GetTemperature(), 31.2, 1e-9);
}

TEST_F(DeviceExchangeE2E, NestedCallIsRefusedWhileReportsFlowDuringTheWait) {
    zelsim::TFaultConfig faults;
    faults.DelayMs = 100;
    SetFaults(faults);
    int positions = 0;
    int positionsInWait = 0;
    bool waiting = false;
    Zel.OnPositionChange = [&](TKORADevice*) {
        ++positions;
        positionsInWait += waiting ? 1 : 0;
    };
    EXPECT_EQ(Zel.AutoUpdatePosition(true, 2, false), E_SUCCESS);

    TStat nested = E_SUCCESS;
    float acceleration = 0; // stops alone may go out while another exchange waits
    QTimer::singleShot(20, [&] { nested = Zel.GetAcceleration(acceleration); });
    Log.Entries.clear();
    waiting = true;
    const double t = Zel.GetTemperature();
    waiting = false;
    EXPECT_NEAR(t, 31.2, 1e-9);
    EXPECT_EQ(nested, E_CMD_FAILED);
    EXPECT_GT(positionsInWait, 5);

    // Nothing but the temperature request went out, and the reports came in before its answer.
    int sent = 0;
    for (const TLoggedPacket& e : Log.Entries)
        sent += e.Received ? 0 : 1;
    EXPECT_EQ(sent, 1);
    const auto ids = Log.ReceivedIDs();
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.front(), TZEL::GET_POS);
    EXPECT_NE(std::find(ids.begin(), ids.end(), int32_t(CMD_ID_GET_TEMPERATURE)), ids.end());
    EXPECT_EQ(Zel.AutoUpdatePosition(false, 0, false), E_SUCCESS);
}
