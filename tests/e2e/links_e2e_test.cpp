// The command engine against zel-sim over real loopback TCP, UDP and the simulator's
// pseudo-terminal, connected through its dialogs as an operator would.
#include "engine/CommandComponent.h"
#include "linkdialogs/DeviceDialog.h"
#include "LinkDialogSteps.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestPeers.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {
enum { Serial, Tcp, Udp };

class LinksE2E : public SettingsFolderTest {
protected:
    void SetUp() override {
        zelsim::TSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.UdpPort = 0;
        cfg.Pty = true;
        Sim = std::make_unique<zelsim::TSimThread>(cfg);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
        Engine = std::make_unique<TCommand>(nullptr);
        Engine->SetOnConnected([this](TDevice*) { ++Connected; });
        Engine->SetOnDisconnected([this](TDevice*) { ++Disconnected; });
        Engine->OnPacket = [this](TCommand*) { ++Packets; };
    }

    void TearDown() override {
        Engine.reset();
        Sim.reset();
    }

    TStat ConnectVia(int Interface) {
        TModalDriver driver;
        if (Interface == Tcp) {
            driver.Then(ChooseInterface(Tcp)).Then(EnterHost("127.0.0.1", Sim->TcpPort()));
        } else if (Interface == Udp) {
            driver.Then(ChooseInterface(Udp)).Then(EnterUdp("127.0.0.1", FreeUdpPort(), Sim->UdpPort()));
        } else {
            const QString pty = QString::fromStdString(Sim->PtyPath());
            driver.ThenAs<TDeviceDlg>([pty](TDeviceDlg* D) {
                // Pseudo-terminals are not enumerated; the operator's list gets the path.
                auto* port = Control<QComboBox>(*D, "cbDevicePort");
                port->addItem(pty);
                port->setCurrentText(pty);
                Control<QPushButton>(*D, "btnConnect")->click();
            });
            driver.Then(TModalDriver::Accept()); // 9600 baud
        }
        const int before = Connected;
        const TStat r = Engine->Connect();
        if (r == E_SUCCESS)
            WaitUntil([&] { return Connected > before; });
        return r;
    }

    // Sends LOOP with Data and waits for the answer packet.
    bool Loop(const TByteArray& Data, TPacket& Answer, int TimeoutMs = 3000) {
        const int before = Packets;
        if (Engine->SendPacket(TPacket{LOOP, int32_t(Data.size()), Data}) != E_SUCCESS)
            return false;
        if (!WaitUntil([&] { return Packets > before; }, TimeoutMs))
            return false;
        return Engine->GetPacket(Answer);
    }

    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TCommand> Engine;
    int Connected = 0;
    int Disconnected = 0;
    int Packets = 0;
};

TByteArray Pattern(size_t Count) {
    TByteArray b(Count);
    for (size_t i = 0; i < Count; ++i)
        b[i] = uint8_t(i * 13 + 7);
    return b;
}

TByteArray WithStatus(const TByteArray& Data) {
    TByteArray out(Data.size() + 2, 0);
    std::copy(Data.begin(), Data.end(), out.begin() + 2);
    return out;
}
} // namespace

TEST_F(LinksE2E, LoopAnswersOverEveryLink) {
    for (int link : {Tcp, Udp, Serial}) {
        SCOPED_TRACE(link == Tcp ? "TCP" : link == Udp ? "UDP" : "serial");
        ASSERT_EQ(ConnectVia(link), E_SUCCESS);
        EXPECT_TRUE(Engine->IsConnected());
        const TByteArray data = Pattern(100);
        TPacket answer;
        ASSERT_TRUE(Loop(data, answer));
        EXPECT_EQ(answer.CommandID, LOOP);
        EXPECT_EQ(answer.Payload, WithStatus(data));
        EXPECT_EQ(answer.Length, 102);
        ProcessEventsFor(50);
        EXPECT_EQ(Engine->PacketCount(), 0) << "exactly one packet per frame";
    }
    // Each switch closed the link before: TCP, then UDP.
    EXPECT_EQ(Disconnected, 2);
    EXPECT_EQ(Connected, 3);
}

TEST_F(LinksE2E, AHandlerWaitingInANestedEventLoopStillReceives) {
    // As a device does when a packet handler starts a synchronous exchange: send from inside
    // OnPacket and wait there, in a nested event loop, for the answer.
    for (int link : {Tcp, Udp, Serial}) {
        SCOPED_TRACE(link == Tcp ? "TCP" : link == Udp ? "UDP" : "serial");
        ASSERT_EQ(ConnectVia(link), E_SUCCESS);
        bool nestedAnswer = false;
        bool inside = false;
        Engine->OnPacket = [&](TCommand*) {
            ++Packets;
            if (inside)
                return;
            inside = true;
            const int32_t before = Engine->PacketCount();
            EXPECT_EQ(Engine->SendPacket(TPacket{LOOP, 1, {0x42}}), E_SUCCESS);
            nestedAnswer = WaitUntil([&] { return Engine->PacketCount() > before; }, 3000);
        };
        ASSERT_EQ(Engine->SendPacket(TPacket{LOOP, 0, {}}), E_SUCCESS);
        ASSERT_TRUE(WaitUntil([&] { return inside; }));
        EXPECT_TRUE(nestedAnswer);
        EXPECT_EQ(Engine->PacketCount(), 2);
        TPacket p;
        while (Engine->GetPacket(p)) {
        }
        Engine->OnPacket = [this](TCommand*) { ++Packets; };
    }
}

TEST_F(LinksE2E, LargeAnswersAreReadInChunksOf4096AtMost) {
    for (int link : {Tcp, Serial}) {
        SCOPED_TRACE(link == Tcp ? "TCP" : "serial");
        ASSERT_EQ(ConnectVia(link), E_SUCCESS);
        TDevice* device = Engine->ActiveDevice();
        // Measure what the engine takes out of the transport at each notification.
        int32_t largest = 0, notifications = 0;
        auto engineHandler = device->OnDataAvailable;
        device->OnDataAvailable = [&](TDevice* S, int32_t Count) {
            const int32_t before = S->BytesAvailable();
            engineHandler(S, Count);
            largest = std::max(largest, before - S->BytesAvailable());
            ++notifications;
        };
        const TByteArray data = Pattern(9990); // answer frame: 10000 bytes
        TPacket answer;
        ASSERT_TRUE(Loop(data, answer, 15000));
        EXPECT_EQ(answer.Payload, WithStatus(data));
        EXPECT_LE(largest, 4096);
        EXPECT_GE(notifications, 3);
        device->OnDataAvailable = engineHandler;
    }
}

TEST_F(LinksE2E, CancelKeepsTheLinkAndReconnectStartsAfresh) {
    ASSERT_EQ(ConnectVia(Tcp), E_SUCCESS);
    {
        TModalDriver driver;
        driver.Then(TModalDriver::ClickButton("Abort"));
        EXPECT_EQ(Engine->Connect(), E_CMD_ABORTED);
    }
    TPacket answer;
    ASSERT_TRUE(Loop(Pattern(4), answer)) << "an aborted connect leaves the open link working";

    // An answer left in the store is gone after a successful reconnect, not before.
    ASSERT_EQ(Engine->SendPacket(TPacket{LOOP, 0, {}}), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Engine->PacketCount() == 1; }));
    {
        TModalDriver driver;
        driver.Then(ChooseInterface(Tcp)).Then(TModalDriver::ClickButton("Cancel"));
        EXPECT_EQ(Engine->Connect(), E_CMD_ABORTED);
    }
    EXPECT_EQ(Disconnected, 1);
    EXPECT_EQ(Engine->PacketCount(), 1);
    ASSERT_EQ(ConnectVia(Tcp), E_SUCCESS);
    EXPECT_EQ(Engine->PacketCount(), 0);
    ASSERT_TRUE(Loop(Pattern(4), answer));
}

TEST_F(LinksE2E, FailedOpenAndThePeerHangingUp) {
    // Nothing listens on this port: Open only starts the attempt, the failure comes later.
    TRecordingErrorHandler errors;
    {
        TModalDriver driver;
        driver.Then(ChooseInterface(Tcp)).Then(EnterHost("127.0.0.1", ClosedTcpPort()));
        EXPECT_EQ(Engine->Connect(), E_SUCCESS);
    }
    ASSERT_TRUE(errors.WaitFor(1));
    // What failed: the address and the system's reason after the fixed text.
    EXPECT_TRUE(
        errors.Messages().front().startsWith("Error while establishing socket connection (127.0.0.1:"))
        << errors.Messages().front().toStdString();
    EXPECT_TRUE(errors.Messages().front().endsWith(": Connection refused)"));
    EXPECT_FALSE(Engine->IsConnected());

    // A serial port that does not exist fails at once, and leaves no handlers behind.
    TIniFile section(Settings.Path("rig.ini"));
    section.WriteString("uart", "port", "/dev/zel-no-such-port");
    section.WriteInteger("uart", "baudrate", 115200);
    EXPECT_EQ(Engine->ConnectFromSettings(Serial, section, "uart"), E_IO_ERROR);
    EXPECT_FALSE(Engine->GetDevice(Serial)->OnConnected);
    EXPECT_EQ(Engine->LastDevice()->LastError(), "/dev/zel-no-such-port: No such file or directory");
    EXPECT_FALSE(Engine->GetDevice(Serial)->OnDisconnected);
    EXPECT_EQ(Engine->ActiveDevice(), nullptr);

    // The simulator ends the TCP connection after its first packet.
    zelsim::TFaultConfig faults;
    faults.CloseAfter = 1;
    Sim->Run([&](zelsim::TSimulator& S) { S.SetFaults(faults); });
    ASSERT_EQ(ConnectVia(Tcp), E_SUCCESS);
    const int before = Disconnected;
    TPacket answer;
    EXPECT_TRUE(Loop(Pattern(8), answer));
    ASSERT_TRUE(WaitUntil([&] { return Disconnected > before; }));
    EXPECT_FALSE(Engine->IsConnected());
    EXPECT_EQ(Engine->SendPacket(TPacket{LOOP, 0, {}}), E_NOT_INITIALIZED);
    EXPECT_EQ(errors.Count(), 1) << "a hang-up is no error";
}
