// Connect and disconnect sequence, system information, and the device's fixed tables.
#include "engine/CommandComponent.h"
#include "DeviceTestLink.h"
#include "device/KORADevice.h"
#include "RecordingCommLog.h"
#include "ScriptedPeer.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"

#include <QObject>

#include <gtest/gtest.h>

namespace {
class TCheckingDevice : public TKORADevice {
public:
    using TKORADevice::TKORADevice;
    int Checks = 0;
    bool Accept = true;
    bool CheckDevice() override {
        ++Checks;
        return Accept;
    }
};

class DeviceConnect : public SettingsFolderTest {
protected:
    TRecordingErrorHandler errors;
    TCheckingDevice device{nullptr};
    TScriptedPeer peer;
    TDeviceTestLink link{device};
};
} // namespace

TEST_F(DeviceConnect, SystemInformationIsDecodedAndTheDeviceAccepted) {
    peer.SysInfoData = TScriptedPeer::SysInfo(0x02, 7, 0x2143, 0x01020304);
    ASSERT_TRUE(link.Connect(peer.Port()));
    EXPECT_EQ(device.DeviceType, 2);
    EXPECT_EQ(device.HardwareRevision, 7);
    EXPECT_EQ(device.FirmwareMajor, 2);
    EXPECT_EQ(device.FirmwareMinor, 1);
    EXPECT_EQ(device.FirmwarePatch, 4);
    EXPECT_EQ(device.FirmwareRC, 3);
    EXPECT_EQ(device.SerialNumber, 0x01020304);
    EXPECT_EQ(device.Checks, 1);

    // A wrong length leaves the fields as they were.
    peer.SysInfoData = TByteArray(7, 0x55);
    EXPECT_FALSE(device.GetSystemInfo());
    peer.SysInfoData = TByteArray(9, 0x55);
    EXPECT_FALSE(device.GetSystemInfo());
    EXPECT_EQ(device.DeviceType, 2);
    EXPECT_EQ(device.SerialNumber, 0x01020304);
}

TEST_F(DeviceConnect, UnreadableSystemInformationForgetsThePreviousDeviceType) {
    peer.SysInfoData = TScriptedPeer::SysInfo(1);
    ASSERT_TRUE(link.Connect(peer.Port()));
    device.Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return !device.IsConnected(); }));
    EXPECT_EQ(device.DeviceType, 1); // kept for display after a disconnect

    // The next device answers with the wrong length: the check still runs, but not under type 1.
    peer.SysInfoData = TByteArray(9, 0x01);
    int typeSeenByCheck = -1;
    device.Accept = false;
    ASSERT_EQ(link.Open(peer.Port()), E_SUCCESS);
    ASSERT_TRUE(link.WaitConnectSequence());
    typeSeenByCheck = device.DeviceType;
    EXPECT_EQ(typeSeenByCheck, 0);
    EXPECT_EQ(device.Checks, 2);
    EXPECT_FALSE(link.Accepted());
}

TEST_F(DeviceConnect, FailedSystemInformationClosesTheLinkAndNamesTheStep) {
    // Refused, then not answered at all: the link closes without OnConnect, and the failure
    // says which request failed and how (once the link is closed).
    struct TRow {
        bool Answer;
        std::string Failure;
    };
    const TRow rows[] = {
        {true, "Connecting failed: the system information request failed: Command GET_SYSINFO failed: "
               "Unknown command"},
        {false, "Connecting failed: no answer to the system information request"},
    };
    int failed = 0;
    bool connectedWhenFailed = true;
    device.OnConnectFailed = [&](TKORADevice* D) {
        ++failed;
        connectedWhenFailed = D->IsConnected();
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Failure);
        peer.Responder = [&](TScriptedPeer& p, const TPacket& r) {
            if (r.CommandID == GET_SYSINFO && row.Answer)
                p.SendStatus(r.CommandID, E_CMD_UNKNOWN);
        };
        const int announced = peer.CountOf(ANNOUNCE_DISCONNECT);
        const int before = failed;
        ASSERT_EQ(link.Open(peer.Port()), E_SUCCESS);
        ASSERT_TRUE(link.WaitConnectSequence(5000));
        EXPECT_FALSE(link.Accepted());
        EXPECT_EQ(device.Checks, 0);
        EXPECT_TRUE(WaitUntil([&] { return peer.CountOf(ANNOUNCE_DISCONNECT) == announced + 1; }, 2000));
        EXPECT_FALSE(device.IsConnected());
        EXPECT_EQ(failed, before + 1);
        EXPECT_FALSE(connectedWhenFailed);
        EXPECT_EQ(device.ConnectFailure(), row.Failure);
    }
    EXPECT_EQ(errors.Count(), 0); // told through OnConnectFailed, not as an error
}

TEST_F(DeviceConnect, DisconnectAnnouncesOnlyWhenConnected) {
    TRecordingCommLog log;
    device.SetCommLog(&log);
    EXPECT_EQ(std::string([&] {
                  try {
                      device.PostCommand(LOOP, {});
                  } catch (const EDuruzadUdror& e) {
                      return std::string(e.what());
                  }
                  return std::string();
              }()),
              "Error while sending packet: The device is not initialized");
    device.Disconnect(); // nothing open: nothing happens
    EXPECT_EQ(link.Disconnects(), 0);

    ASSERT_TRUE(link.Connect(peer.Port()));
    const size_t logged = log.Entries.size();
    device.Disconnect();
    EXPECT_FALSE(device.IsConnected());
    EXPECT_EQ(link.Disconnects(), 1);
    EXPECT_TRUE(WaitUntil([&] { return peer.CountOf(ANNOUNCE_DISCONNECT) == 1; }, 2000));
    EXPECT_EQ(log.Entries.size(), logged); // posted packets are not logged
    device.Disconnect();
    ProcessEventsFor(50);
    EXPECT_EQ(peer.CountOf(ANNOUNCE_DISCONNECT), 1);
}

TEST(KORADevice, NamesAndCommandLogType) {
    EXPECT_EQ(TKORADevice::DeviceTypeToStr(0x81), "ZEL 11");
    EXPECT_EQ(TKORADevice::DeviceTypeToStr(0x04), "TAQ");
    EXPECT_EQ(TKORADevice::DeviceTypeToStr(0x87), "MORVIK");
    EXPECT_EQ(TKORADevice::DeviceTypeToStr(0x00), "(undefined)");
    EXPECT_EQ(TKORADevice::DeviceTypeToStr(0x08), "(undefined)");

    TTempSettingsFolder folder;
    TKORADevice device(nullptr);
    EXPECT_EQ(device.CommandName(0x50), "GET_SYSINFO");
    EXPECT_EQ(device.CommandName(0x99), "unknown ID(153)");

    QObject notALog;
    try {
        device.SetCommLogObject(&notALog);
        ADD_FAILURE() << "accepted a plain QObject";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "CommLog has to be of TCommLog type");
    }
    struct TLogObject : QObject, TRecordingCommLog {
    } logObject;
    device.SetCommLogObject(&logObject);
    EXPECT_EQ(device.CommLog(), static_cast<TCommLogSink*>(&logObject));
    device.SetCommLogObject(nullptr);
    EXPECT_EQ(device.CommLog(), nullptr);
}
