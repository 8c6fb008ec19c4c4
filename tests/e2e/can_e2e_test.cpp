// The console's classes against zel-sim over Qt's virtual CAN bus, with nodes of the test's own
// on the same bus to watch the frames and to play strangers.
#include "transports/CANDevice.h"
#include "transports/CanLib.h"
#include "linkdialogs/CanParamsDialog.h"
#include "CanTestPeer.h"
#include "platform/IniFile.h"
#include "LinkDialogSteps.h"
#include "ModalDriver.h"
#include "protocol/PacketReceiver.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "WindowControls.h"
#include "zel/ZEL.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int CanInterface = 3;

class CanEndToEndTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        Settings.WriteFile(QStringLiteral("can.cfg"), "[common]\nbackend=virtualcan\n");
        zelsim::TSimConfig cfg;
        cfg.Can = "virtualcan:can0:100";
        cfg.Gripper.StartReferenced = true;
        Sim = std::make_unique<zelsim::TSimulator>(cfg);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
        // The simulator joins the bus once the event loop has run; its answer to a probe of our
        // own shows that it has.
        TVirtualCanPeer probe(0);
        const TByteArray loop = MakeFrame(LOOP, {});
        ASSERT_TRUE(
            probe.Send(100, QByteArray(reinterpret_cast<const char*>(loop.data()), qsizetype(loop.size()))));
        ASSERT_TRUE(probe.WaitForFrames(1));
        Script = std::make_unique<TIniFile>(Settings.Path(QStringLiteral("script.ini")));
        Script->WriteString(QStringLiteral("can"), QStringLiteral("backend"), QStringLiteral("virtualcan"));
        Script->WriteInteger(QStringLiteral("can"), QStringLiteral("net"), 0);
        Script->WriteInteger(QStringLiteral("can"), QStringLiteral("bitrate"), 4);
        Script->WriteInteger(QStringLiteral("can"), QStringLiteral("id"), 100);
    }
    void TearDown() override {
        Sim.reset();
        CanSetBackendOverride(QString());
        EXPECT_EQ(CanOpenHandleCount(), 0);
    }
    // A transport as the engine wires it: every notification reads what it announces.
    std::unique_ptr<TCANDevice> MakeDevice() {
        auto dev = std::make_unique<TCANDevice>(nullptr);
        TCANDevice* d = dev.get();
        d->OnDataAvailable = [this, d](TDevice*, int32_t Count) {
            uint8_t buf[4096];
            const int32_t n = d->Read(buf, std::min(Count, 4096));
            Received.insert(Received.end(), buf, buf + std::max(n, 0));
        };
        d->OnConnected = [this](TDevice*) { ++Connected; };
        d->OnDisconnected = [this](TDevice*) { ++Disconnected; };
        return dev;
    }

    std::unique_ptr<zelsim::TSimulator> Sim;
    std::unique_ptr<TIniFile> Script;
    TByteArray Received;
    int Connected = 0;
    int Disconnected = 0;
};

TByteArray LoopAnswer(const TByteArray& Echo) {
    TByteArray payload{0, 0};
    payload.insert(payload.end(), Echo.begin(), Echo.end());
    return MakeFrame(LOOP, payload);
}

std::vector<int> Lengths(const QList<QCanBusFrame>& Frames, quint32 Id) {
    std::vector<int> v;
    for (const auto& f : Frames)
        if (f.frameId() == Id)
            v.push_back(int(f.payload().size()));
    return v;
}
} // namespace

TEST_F(CanEndToEndTest, ConsoleConnectsThroughItsDialogsReadsTheDeviceAndMoves) {
    TZEL zel(nullptr);
    int connects = 0;
    int disconnects = 0;
    zel.OnConnect = [&](TKORADevice*) { ++connects; };
    zel.OnDisconnect = [&](TKORADevice*) { ++disconnects; };
    {
        TModalDriver driver;
        driver.Then(ChooseInterface(CanInterface)).ThenAs<TCANParamsDlg>([](TCANParamsDlg* D) {
            EXPECT_EQ(D->GetBitrate(), 4);
            EXPECT_EQ(D->GetId(), 100);
            Control<QPushButton>(*D, "btnOk")->click();
        });
        ASSERT_EQ(zel.Connect(), E_SUCCESS);
        EXPECT_EQ(driver.Handled(), 2);
    }
    ASSERT_TRUE(SpinUntil([&] { return connects == 1; }, 10000));
    EXPECT_EQ(zel.DeviceType, 1);
    EXPECT_EQ(zel.SerialNumber, 12345678);
    EXPECT_FLOAT_EQ(zel.Stroke, 110.0f);

    std::vector<TStat> finals;
    const TStat first =
        zel.Move(60.0f, 200.0f, [&](TKORADevice*, int32_t Id, TStat Status, const TByteArray&) {
            EXPECT_EQ(Id, TZEL::MOVE);
            finals.push_back(Status);
        });
    EXPECT_EQ(first, E_CMD_PENDING);
    ASSERT_TRUE(SpinUntil([&] { return !finals.empty(); }, 10000));
    EXPECT_EQ(finals, std::vector<TStat>{E_SUCCESS});
    SpinUntil([&] { return std::abs(zel.Position - 60.0f) < 0.5f; }, 2000);

    zel.Disconnect();
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(zel.IsConnected());
}

TEST_F(CanEndToEndTest, PacketsGoOutInFramesOfTheTargetIdAndOnlyItsAnswerIdComesIn) {
    TVirtualCanPeer sniffer(0);
    TVirtualCanPeer stranger(0);
    ASSERT_TRUE(sniffer.Connected() && stranger.Connected());
    auto dev = MakeDevice();
    ASSERT_EQ(dev->OpenFromSettings(*Script, QStringLiteral("can")), E_SUCCESS);
    ASSERT_TRUE(SpinUntil([&] { return Connected == 1; }));

    // A 10-byte packet: 8 + 2 bytes with identifier 100; the answer (12 bytes) with 101.
    const TByteArray request = MakeFrame(LOOP, {0xA5, 0x5A});
    ASSERT_EQ(request.size(), 10u);
    ASSERT_EQ(dev->Write(request.data(), int32_t(request.size())), E_SUCCESS);
    const TByteArray answer1 = LoopAnswer({0xA5, 0x5A});
    ASSERT_TRUE(SpinUntil([&] { return Received.size() >= answer1.size(); }));
    EXPECT_EQ(Received, answer1);
    ASSERT_TRUE(sniffer.WaitForFrames(4));
    EXPECT_EQ(Lengths(sniffer.Frames(), 100), (std::vector<int>{8, 2}));
    EXPECT_EQ(Lengths(sniffer.Frames(), 101), (std::vector<int>{8, 4}));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(request.data()), 8), sniffer.Frames()[0].payload());

    // Whole, valid packets from strangers on other identifiers never reach the stream. The
    // sniffer seeing them means the bus has passed them to every node, the console's included.
    const TByteArray bogus = MakeFrame(LOOP, {0, 0, 0xEE});
    const QByteArray bogusBytes(reinterpret_cast<const char*>(bogus.data()), qsizetype(bogus.size()));
    sniffer.Clear();
    for (quint32 id : {99u, 102u, 0x7FFu}) {
        ASSERT_TRUE(stranger.Send(id, bogusBytes.left(8)));
        ASSERT_TRUE(stranger.Send(id, bogusBytes.mid(8)));
    }
    ASSERT_TRUE(sniffer.WaitForFrames(6));
    const TByteArray request2 = MakeFrame(LOOP, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_EQ(dev->Write(request2.data(), int32_t(request2.size())), E_SUCCESS);
    TByteArray expected = answer1;
    const TByteArray answer2 = LoopAnswer({1, 2, 3, 4, 5, 6, 7, 8, 9});
    expected.insert(expected.end(), answer2.begin(), answer2.end());
    ASSERT_TRUE(SpinUntil([&] { return Received.size() >= expected.size(); }));
    EXPECT_EQ(Received, expected);
    EXPECT_EQ(dev->BytesAvailable(), 0);
    EXPECT_EQ(dev->Close(), E_SUCCESS);
}

TEST_F(CanEndToEndTest, CloseEndsTheIdleReceiveThreadAndCyclesLeaveNothingBehind) {
    auto dev = MakeDevice();
    for (int cycle = 0; cycle < 10; ++cycle) {
        ASSERT_EQ(dev->OpenFromSettings(*Script, QStringLiteral("can")), E_SUCCESS);
        EXPECT_TRUE(dev->IsOpen());
        // No traffic at all: only the receive abort (or the read time-out) lets the thread go.
        EXPECT_EQ(dev->Close(), E_SUCCESS);
        EXPECT_EQ(dev->RxThread(), nullptr);
        EXPECT_EQ(CanOpenHandleCount(), 0);
    }
    EXPECT_EQ(Disconnected, 10);
    EXPECT_EQ(dev->Close(), E_NOT_OPENED);
    EXPECT_EQ(Disconnected, 10);

    // Still a working link after all that.
    ASSERT_EQ(dev->OpenFromSettings(*Script, QStringLiteral("can")), E_SUCCESS);
    const TByteArray request = MakeFrame(LOOP, {7});
    ASSERT_EQ(dev->Write(request.data(), int32_t(request.size())), E_SUCCESS);
    ASSERT_TRUE(SpinUntil([&] { return Received == LoopAnswer({7}); }));
    dev.reset();
    EXPECT_EQ(Disconnected, 10);
}

TEST_F(CanEndToEndTest, LostInterfaceShowsTheBoxThenTheHardwareErrorWhichDisconnects) {
    TMessageRecorder boxes;
    TRecordingErrorHandler errors;
    auto dev = MakeDevice();
    ASSERT_EQ(dev->OpenFromSettings(*Script, QStringLiteral("can")), E_SUCCESS);
    ASSERT_EQ(CanDropLink(dev->NetHandle()), CAN_SUCCESS);
    ASSERT_TRUE(errors.WaitFor(1));
    EXPECT_EQ(boxes.Texts(),
              QStringList{QStringLiteral("CAN Error: Connection to CAN-Interface lost (E0000013h)")});
    EXPECT_EQ(errors.Messages(), QStringList{QStringLiteral("Cannot access CAN-Hardware")});
    EXPECT_TRUE(dev->IsOpen());
    const TByteArray request = MakeFrame(LOOP, {1});
    EXPECT_EQ(dev->Write(request.data(), int32_t(request.size())), E_WRITE_ERROR);
    EXPECT_EQ(dev->Close(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 1);
}
