// The connect sequence of the device classes against the simulator: as gripper, as sensor, and
// refused; the disconnect announcement only while connected.
#include "DeviceTestLink.h"
#include "Simulator.h"
#include "taq/TAQ.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "zel/ZEL.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace {
class DeviceConnectE2E : public SettingsFolderTest {
protected:
    bool StartSim(zelsim::TSimConfig Config) {
        Config.TcpPort = 0;
        Sim = std::make_unique<zelsim::TSimThread>(Config);
        std::string error;
        if (!Sim->Start(&error)) {
            ADD_FAILURE() << error;
            return false;
        }
        Sim->Run([this](zelsim::TSimulator& S) {
            S.SetLogSink([this](const std::string& Line) {
                std::lock_guard<std::mutex> lock(LogMutex);
                Log.push_back(Line);
            });
        });
        return true;
    }
    int LogLinesWith(const std::string& Text) {
        std::lock_guard<std::mutex> lock(LogMutex);
        int n = 0;
        for (const std::string& l : Log)
            n += l.find(Text) != std::string::npos ? 1 : 0;
        return n;
    }
    void TearDown() override { Sim.reset(); }

    TRecordingErrorHandler Errors;
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::mutex LogMutex;
    std::vector<std::string> Log;
};
} // namespace

TEST_F(DeviceConnectE2E, GripperIsAcceptedWithItsInformationAndLimits) {
    zelsim::TSimConfig cfg;
    cfg.SysInfo.DeviceType = 5;
    cfg.SysInfo.Firmware = 0x2143;
    cfg.SysInfo.SerialNumber = 4711;
    cfg.Gripper.Limits.Stroke = 65;
    ASSERT_TRUE(StartSim(cfg));
    TZEL zel(nullptr);
    TDeviceTestLink link(zel);
    ASSERT_TRUE(link.Connect(Sim->TcpPort()));
    EXPECT_EQ(TKORADevice::DeviceTypeToStr(zel.DeviceType), "ZEL 13");
    EXPECT_EQ(zel.SerialNumber, 4711);
    EXPECT_EQ(zel.FirmwareMajor * 100 + zel.FirmwareMinor * 10 + zel.FirmwarePatch, 214);
    EXPECT_EQ(zel.FirmwareRC, 3);
    EXPECT_EQ(zel.Stroke, 65.0f);
    EXPECT_EQ(zel.MaxSpeed, 420.0f);
    EXPECT_EQ(zel.NominalForce, 80.0f);
    EXPECT_EQ(Errors.Count(), 0);

    EXPECT_EQ(LogLinesWith("ANNOUNCE_DISCONNECT"), 0);
    zel.Disconnect();
    EXPECT_FALSE(zel.IsConnected());
    EXPECT_EQ(link.Disconnects(), 1);
    EXPECT_TRUE(WaitUntil([&] { return LogLinesWith("ANNOUNCE_DISCONNECT") == 1; }, 2000));
    zel.Disconnect();
    ProcessEventsFor(100);
    EXPECT_EQ(LogLinesWith("ANNOUNCE_DISCONNECT"), 1);
}

TEST_F(DeviceConnectE2E, SensorIsAcceptedAndDecodesFrames) {
    zelsim::TSimConfig cfg;
    cfg.Device = zelsim::EDeviceKind::Sensor;
    cfg.Sensor.MatrixWidth = 4;
    cfg.Sensor.MatrixHeight = 3;
    ASSERT_TRUE(StartSim(cfg));
    TTAQ taq(nullptr);
    TDeviceTestLink link(taq);
    ASSERT_TRUE(link.Connect(Sim->TcpPort()));
    EXPECT_EQ(taq.CellCount, 12);
    EXPECT_EQ(taq.TransducerType, QStringLiteral("piezoresistive"));
    EXPECT_NEAR(taq.Gain, 128 / 255.0 * 100, 1e-9);
    EXPECT_EQ(taq.Threshold, 20);

    int frames = 0;
    taq.OnFrame = [&](TKORADevice*) { ++frames; };
    TByteArray data;
    TStat status = E_CMD_FAILED;
    ASSERT_TRUE(taq.ExecuteCommand(TTAQ::CMD_ID_READ_SINGLE_FRAME, {}, data, status));
    EXPECT_EQ(frames, 1);
    // Periodic frames arrive on their own and are stopped before the link closes.
    ASSERT_TRUE(taq.ExecuteCommand(TTAQ::CMD_ID_START_PERIODIC_ACQ, {}, data, status));
    EXPECT_TRUE(WaitUntil([&] { return frames >= 4; }, 3000));
    EXPECT_EQ(Errors.Count(), 0);
    taq.Disconnect();
    EXPECT_TRUE(WaitUntil([&] { return LogLinesWith("ANNOUNCE_DISCONNECT") == 1; }, 2000));
    EXPECT_EQ(LogLinesWith("CMD_ID_STOP_PERIODIC_ACQ"), 1);
}

TEST_F(DeviceConnectE2E, OtherDeviceTypesAreRefused) {
    zelsim::TSimConfig cfg;
    cfg.SysInfo.DeviceType = 0x81; // a gripper's name, but not a gripper the console accepts
    ASSERT_TRUE(StartSim(cfg));
    {
        TZEL zel(nullptr);
        TDeviceTestLink link(zel);
        ASSERT_EQ(link.Open(Sim->TcpPort()), E_SUCCESS);
        ASSERT_TRUE(link.WaitConnectSequence());
        EXPECT_FALSE(link.Accepted());
        EXPECT_EQ(Errors.Messages(),
                  QStringList{QStringLiteral("Connected device is not a ZEL Series Gripper")});
        EXPECT_EQ(TKORADevice::DeviceTypeToStr(zel.DeviceType), "ZEL 11");
    }
    Errors.Clear();
    TTAQ taq(nullptr);
    TDeviceTestLink link(taq);
    ASSERT_EQ(link.Open(Sim->TcpPort()), E_SUCCESS);
    ASSERT_TRUE(link.WaitConnectSequence());
    EXPECT_FALSE(link.Accepted());
    EXPECT_EQ(Errors.Messages(), QStringList{QStringLiteral("Connected device is not a TAQ")});
}
