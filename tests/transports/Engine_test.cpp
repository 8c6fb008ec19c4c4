// The command engine against scripted peers on loopback.
#include "engine/CommandComponent.h"
#include "linkdialogs/DeviceDialog.h"
#include "LinkDialogSteps.h"
#include "transports/SerialDevice.h"
#include "linkdialogs/BaudrateDialog.h"
#include "transports/TCPDevice.h"
#include "TempSettingsFolder.h"
#include "TestPeers.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"
#include "transports/UDPDevice.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace {
enum { Serial, Tcp, Udp, Can };

class EngineTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server.listen(QHostAddress::LocalHost));
        Engine = std::make_unique<TCommand>(nullptr);
        Engine->SetOnConnected([this](TDevice*) { ++Connected; });
        Engine->SetOnDisconnected([this](TDevice*) { ++Disconnected; });
        Engine->OnPacket = [this](TCommand* Sender) {
            EXPECT_EQ(Sender, Engine.get());
            StoredAtPacket.push_back(Engine->PacketCount());
        };
    }

    TStat ConnectTcp() {
        TModalDriver driver;
        driver.Then(ChooseInterface(Tcp)).Then(EnterHost("127.0.0.1", Server.serverPort()));
        const int before = Connected;
        const TStat r = Engine->Connect();
        if (r == E_SUCCESS) {
            WaitUntil([&] { return Server.hasPendingConnections(); });
            Peer.reset(Server.nextPendingConnection());
            WaitUntil([&] { return Connected > before; });
        }
        return r;
    }

    QTcpServer Server;
    std::unique_ptr<TCommand> Engine;
    std::unique_ptr<QTcpSocket> Peer;
    int Connected = 0;
    int Disconnected = 0;
    std::vector<int32_t> StoredAtPacket;
};

QString What(const std::function<void()>& Fn) {
    try {
        Fn();
    } catch (const std::exception& e) {
        return e.what();
    }
    return QString();
}
} // namespace

TEST_F(EngineTest, OwnsFourTransportsInOrderAndGuardsItsIndex) {
    ASSERT_EQ(Engine->DeviceCount(), 4);
    EXPECT_TRUE(dynamic_cast<TSerialDevice*>(Engine->GetDevice(Serial)));
    EXPECT_TRUE(dynamic_cast<TTCPDevice*>(Engine->GetDevice(Tcp)));
    EXPECT_TRUE(dynamic_cast<TUDPDevice*>(Engine->GetDevice(Udp)));
    EXPECT_EQ(Engine->GetDevice(Can)->InterfaceName, "CAN-Bus");
    EXPECT_EQ(What([&] { Engine->GetDevice(4); }), "Index out of bounds (4).");
    EXPECT_EQ(What([&] { Engine->GetDevice(-1); }), "List index out of bounds (-1)");
    EXPECT_FALSE(Engine->IsConnected());
    EXPECT_EQ(Engine->SendPacket(TPacket{LOOP, 0, {}}), E_NOT_INITIALIZED);
    Engine->Disconnect(); // nothing active: nothing happens
    EXPECT_EQ(Disconnected, 0);
}

TEST_F(EngineTest, InterfaceDialogListsTransportsAndTheirPorts) {
    TModalDriver driver;
    driver.ThenAs<TDeviceDlg>([](TDeviceDlg* D) {
        auto* device = Control<QComboBox>(*D, "cbDevice");
        auto* connect = Control<QPushButton>(*D, "btnConnect");
        QStringList names;
        for (int i = 0; i < device->count(); ++i)
            names.append(device->itemText(i));
        EXPECT_EQ(names, (QStringList{"Serial (RS232)", "Ethernet/TCP", "Ethernet/UDP", "CAN-Bus"}));
        EXPECT_EQ(device->currentIndex(), 0);
        EXPECT_EQ(D->focusWidget(), device);
        EXPECT_EQ(D->windowTitle(), "Select an Interface");
        EXPECT_EQ(connect->text(), "Connect");
        EXPECT_FALSE(connect->icon().isNull());
        EXPECT_EQ(Control<QPushButton>(*D, "btnCancel")->text(), "Abort");
        QTest::keyClick(device, Qt::Key_Down); // as the operator picks the next entry
        EXPECT_EQ(device->currentText(), "Ethernet/TCP");
        EXPECT_EQ(Control<QComboBox>(*D, "cbDevicePort")->count(), 1);
        EXPECT_EQ(D->PortText(), "TCP");
        device->setCurrentIndex(Udp);
        EXPECT_EQ(D->PortText(), "UDP");
        QTest::keyClick(device, Qt::Key_Escape);
    });
    EXPECT_EQ(Engine->Connect(), E_CMD_ABORTED);
    EXPECT_EQ(driver.Handled(), 1);

    // Every run starts again at the first interface; Enter connects.
    TModalDriver again;
    again.ThenAs<TDeviceDlg>([](TDeviceDlg* D) {
        auto* device = Control<QComboBox>(*D, "cbDevice");
        EXPECT_EQ(device->currentIndex(), 0);
        device->setCurrentIndex(Tcp);
        QTest::keyClick(device, Qt::Key_Return);
    });
    again.Then(TModalDriver::PressKey(Qt::Key_Escape)); // the host dialog
    EXPECT_EQ(Engine->Connect(), E_CMD_ABORTED);
    EXPECT_EQ(again.Titles(), (QStringList{"Select an Interface", "TCP Connection"}));
    EXPECT_EQ(Engine->ActiveDevice(), nullptr);
}

TEST_F(EngineTest, FramesArriveAsPacketsAndOnPacketFollowsEachStoredFrame) {
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    ASSERT_TRUE(Peer);
    EXPECT_EQ(Connected, 1);
    EXPECT_EQ(Engine->SendPacket(TPacket{SET_DEVICE_TAG, 2, {0x41, 0x42}}), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Peer->bytesAvailable() >= 10; }));
    EXPECT_EQ(Peer->readAll(), QByteArray("\xAA\xAA\xAA\x51\x02\x00\x41\x42\xB9\xA7", 10));

    // Two frames in one segment: OnPacket twice, the first right after the first was stored.
    Peer->write(Frame(GET_SYSINFO, QByteArray("\x00\x00", 2)) + Frame(LOOP, QByteArray("\x00\x00xy", 4)));
    ASSERT_TRUE(WaitUntil([&] { return StoredAtPacket.size() == 2; }));
    EXPECT_EQ(StoredAtPacket, (std::vector<int32_t>{1, 2}));
    TPacket p;
    ASSERT_TRUE(Engine->GetPacket(p));
    EXPECT_EQ(p.CommandID, GET_SYSINFO);
    ASSERT_TRUE(Engine->GetPacket(p));
    EXPECT_EQ(p.CommandID, LOOP);
    EXPECT_EQ(p.Payload, (TByteArray{0, 0, 'x', 'y'}));
    EXPECT_FALSE(Engine->GetPacket(p));

    // A payload the length field cannot express is refused, and nothing goes out.
    TPacket tooLong{LOOP, 65536, TByteArray(65536, 0)};
    EXPECT_EQ(Engine->SendPacket(tooLong), E_INVALID_PARAMETER);
    ProcessEventsFor(30);
    EXPECT_EQ(Peer->bytesAvailable(), 0);
}

TEST_F(EngineTest, ReadsAtMost4096BytesPerNotificationAndGetsTheRestLater) {
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    TDevice* tcp = Engine->ActiveDevice();
    // 10 frames of 1000 bytes: 10000 bytes waiting before the engine hears of them.
    QByteArray data;
    for (int i = 0; i < 10; ++i)
        data += Frame(LOOP, QByteArray(992, char('a' + i)));
    ASSERT_EQ(data.size(), 10000);
    auto notify = std::exchange(tcp->OnDataAvailable, nullptr);
    Peer->write(data);
    ASSERT_TRUE(WaitUntil([&] { return tcp->BytesAvailable() == 10000; }));
    Engine->HandleDataAvailable(tcp, 10000);
    EXPECT_EQ(tcp->BytesAvailable(), 10000 - 4096);
    EXPECT_EQ(Engine->PacketCount(), 4);
    Engine->HandleDataAvailable(tcp, tcp->BytesAvailable());
    Engine->HandleDataAvailable(tcp, tcp->BytesAvailable());
    EXPECT_EQ(tcp->BytesAvailable(), 0);
    EXPECT_EQ(Engine->PacketCount(), 10);

    // Through the transport's own notifications nothing stays behind either.
    tcp->OnDataAvailable = notify;
    Peer->write(data);
    ASSERT_TRUE(WaitUntil([&] { return Engine->PacketCount() == 20; }));
    EXPECT_EQ(StoredAtPacket.size(), 20u);

    // A notification from a transport the engine is not using is ignored.
    Engine->HandleDataAvailable(Engine->GetDevice(Udp), 100);
    EXPECT_EQ(Engine->PacketCount(), 20);
}

TEST_F(EngineTest, CancelKeepsTheLinkAndReconnectEmptiesTheStoreOnlyOnSuccess) {
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    TDevice* tcp = Engine->ActiveDevice();
    Peer->write(Frame(LOOP, QByteArray(2, '\0')));
    ASSERT_TRUE(WaitUntil([&] { return Engine->PacketCount() == 1; }));

    {
        TModalDriver driver;
        driver.Then(TModalDriver::ClickButton("Abort"));
        EXPECT_EQ(Engine->Connect(), E_CMD_ABORTED);
    }
    EXPECT_TRUE(Engine->IsConnected());
    EXPECT_EQ(Engine->ActiveDevice(), tcp);
    EXPECT_EQ(Disconnected, 0);

    {
        // The same transport again, its own dialog cancelled: the old link was closed first.
        TModalDriver driver;
        driver.Then(ChooseInterface(Tcp)).Then(TModalDriver::ClickButton("Cancel"));
        EXPECT_EQ(Engine->Connect(), E_CMD_ABORTED);
    }
    EXPECT_EQ(Disconnected, 1);
    EXPECT_FALSE(Engine->IsConnected());
    EXPECT_EQ(Engine->ActiveDevice(), nullptr);
    EXPECT_EQ(Engine->PacketCount(), 1) << "the store is emptied only by a successful connect";
    EXPECT_FALSE(tcp->OnConnected);

    Server.close();
    ASSERT_TRUE(Server.listen(QHostAddress::LocalHost));
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    EXPECT_EQ(Engine->PacketCount(), 0);
    EXPECT_EQ(Connected, 2);
    // Reconnect while connected: OnDisconnected for the old link, then a new one.
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 2);
    EXPECT_EQ(Connected, 3);
    EXPECT_TRUE(Engine->IsConnected());
}

TEST_F(EngineTest, FailedOpenLeavesNoHandlersBehind) {
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0));
    TModalDriver driver;
    driver.Then(ChooseInterface(Udp)).Then(EnterUdp("127.0.0.1", holder.localPort(), 1500));
    EXPECT_EQ(Engine->Connect(), E_IO_ERROR);
    EXPECT_EQ(Disconnected, 1) << "the TCP link was closed before the UDP open";
    EXPECT_FALSE(Engine->IsConnected());
    EXPECT_EQ(Engine->ActiveDevice(), nullptr);
    TDevice* udp = Engine->GetDevice(Udp);
    EXPECT_FALSE(udp->OnConnected);
    EXPECT_FALSE(udp->OnDisconnected);
    EXPECT_TRUE(udp->OnDataAvailable);
    EXPECT_EQ(Engine->SendPacket(TPacket{LOOP, 0, {}}), E_NOT_INITIALIZED);
}

TEST_F(EngineTest, ExceptionsFromTheTransportDialogPassThroughConnect) {
    Settings.WriteFile("uart.cfg", "[common]\nbaudrate=300\n");
    TModalDriver driver;
    driver.Then(ChooseInterface(Serial)).Then(TModalDriver::Accept()); // OK forced though disabled
    EXPECT_EQ(What([&] { Engine->Connect(); }), "Baudrate index undefined");
    TDevice* serial = Engine->GetDevice(Serial);
    EXPECT_EQ(Engine->ActiveDevice(), serial);
    EXPECT_TRUE(serial->OnConnected);
    EXPECT_FALSE(Engine->IsConnected());
    Engine->Disconnect();
    EXPECT_EQ(Engine->ActiveDevice(), nullptr);
}

TEST_F(EngineTest, PeerClosingTheConnectionEndsTheLink) {
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    Peer->close();
    ASSERT_TRUE(WaitUntil([&] { return Disconnected == 1; }));
    EXPECT_FALSE(Engine->IsConnected());
    EXPECT_EQ(Engine->SendPacket(TPacket{LOOP, 0, {}}), E_NOT_INITIALIZED);
    Engine->Disconnect();
    EXPECT_EQ(Disconnected, 1) << "no second report for a link already down";
}

TEST_F(EngineTest, ConnectFromSettingsOpensWithoutAnyDialog) {
    TIniFile section(Settings.Path("zelctl.ini"));
    section.WriteString("link", "host", "127.0.0.1");
    section.WriteInteger("link", "port", Server.serverPort());
    EXPECT_THROW(Engine->ConnectFromSettings(7, section, "link"), std::out_of_range);
    EXPECT_EQ(Engine->ConnectFromSettings(Udp, section, "link"), E_INVALID_PARAMETER);
    EXPECT_EQ(Engine->ActiveDevice(), nullptr);
    ASSERT_EQ(Engine->ConnectFromSettings(Tcp, section, "link"), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    EXPECT_TRUE(Engine->IsConnected());

    // Handlers set later reach the active transport at once.
    int late = 0;
    Engine->SetOnDisconnected([&](TDevice*) { ++late; });
    Engine->Disconnect();
    EXPECT_EQ(late, 1);
    EXPECT_EQ(Disconnected, 0);
}

TEST_F(EngineTest, DestroyingAConnectedEngineRaisesNothing) {
    ASSERT_EQ(ConnectTcp(), E_SUCCESS);
    Engine.reset();
    EXPECT_EQ(Disconnected, 0);
    ASSERT_TRUE(WaitUntil([&] { return Peer->state() != QAbstractSocket::ConnectedState; }));
}

namespace {
// A transport with a fixed port list, for the preselection rules of the interface dialog.
class TListDevice : public TDevice {
public:
    TListDevice(const QString& Name, QStringList Ports) : TDevice(nullptr, Name), FPorts(std::move(Ports)) {
        InterfaceName = Name;
    }
    void WriteSettings(TIniFile&, const QString&) override {}
    TStat OpenFromSettings(TIniFile&, const QString&) override { return E_NOT_FOUND; }
    bool IsOpen() override { return false; }
    TStat Open(const QString&) override { return E_NOT_FOUND; }
    TStat Close() override { return E_SUCCESS; }
    int32_t BytesAvailable() override { return 0; }
    int32_t Read(uint8_t*, int32_t) override { return -1; }
    TStat Write(const uint8_t*, int32_t) override { return E_NOT_OPENED; }
    bool HasPortList() override { return true; }
    void GetPortList(QStringList& List) override { List = FPorts; }

private:
    QStringList FPorts;
};

class TListOwner : public QObject, public TDeviceListOwner {
public:
    std::vector<std::unique_ptr<TListDevice>> Devices;
    int32_t DeviceCount() const override { return int32_t(Devices.size()); }
    TDevice* GetDevice(int32_t I) const override { return Devices.at(size_t(I)).get(); }
};
} // namespace

TEST_F(EngineTest, InterfaceDialogPreselectsTheStoredPortName) {
    Settings.WriteFile("one.cfg", "[Common]\nPortname=COM3\n");
    Settings.WriteFile("two.cfg", "[common]\nportname=COM9\n");
    TListOwner owner;
    owner.Devices.push_back(std::make_unique<TListDevice>("one", QStringList{"COM1", "COM3", "COM7"}));
    owner.Devices.push_back(std::make_unique<TListDevice>("two", QStringList{"COM1", "COM3"}));
    owner.Devices.push_back(std::make_unique<TListDevice>("three", QStringList{}));
    TDeviceDlg dlg(&owner);
    TModalDriver driver;
    driver.ThenAs<TDeviceDlg>([](TDeviceDlg* D) {
        auto* device = Control<QComboBox>(*D, "cbDevice");
        EXPECT_EQ(D->PortText(), "COM3");
        device->setCurrentIndex(1);
        EXPECT_EQ(D->PortText(), "COM1") << "a stored name not in the list selects the first";
        device->setCurrentIndex(2);
        EXPECT_EQ(Control<QComboBox>(*D, "cbDevicePort")->count(), 0);
        EXPECT_EQ(D->PortText(), "");
        Control<QPushButton>(*D, "btnConnect")->click();
    });
    EXPECT_TRUE(dlg.Show());
    EXPECT_EQ(dlg.SelectedInterface(), 2);

    QObject stranger;
    TDeviceDlg orphan(&stranger);
    EXPECT_EQ(What([&] { orphan.Show(); }), "Owner is not TCommand");
}

TEST_F(EngineTest, ALinkThatEndedInsideAFrameDoesNotGarbleTheNextOne) {
    // A clock that stands still: only the new link, not a pause, may end the partial frame.
    Engine->Receiver().Clock = [] { return 1000u; };
    for (const QByteArray& tail : {QByteArray("\xAA\xAA\xAA", 3), QByteArray("\xAA\xAA\xAA\x50\x04\x00", 6)}) {
        ASSERT_EQ(ConnectTcp(), E_SUCCESS);
        Peer->write(tail);
        ASSERT_TRUE(WaitUntil([&] { return Engine->Receiver().State().Synced || Engine->Receiver().State().Position > 0; }));
        ASSERT_EQ(ConnectTcp(), E_SUCCESS);
        Peer->write(Frame(LOOP, QByteArray("\x00\x00", 2)));
        ASSERT_TRUE(WaitUntil([&] { return Engine->PacketCount() == 1; }, 1000)) << tail.toHex().toStdString();
        TPacket p;
        ASSERT_TRUE(Engine->GetPacket(p));
        EXPECT_EQ(p.CommandID, LOOP);
    }
}
