#include "ModalDriver.h"
#include "TempSettingsFolder.h"
#include "TestPeers.h"
#include "TestWait.h"
#include "WindowControls.h"
#include "transports/UDPDevice.h"
#include "linkdialogs/UDPSettingsDialog.h"

#include <QNetworkDatagram>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace {
class UDPDeviceTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(Peer.bind(QHostAddress::LocalHost, 0));
        Udp.OnConnected = [this](TDevice*) { ++Connected; };
        Udp.OnDisconnected = [this](TDevice*) { ++Disconnected; };
        Udp.OnDataAvailable = [this](TDevice*, int32_t Count) { Counts.push_back(Count); };
    }

    TStat OpenVia(const QString& Address, quint16 Listening) {
        TModalDriver driver;
        driver.ThenAs<TUDPSettingsDlg>([&](TUDPSettingsDlg* D) {
            D->SetAddress(Address);
            D->SetListeningPort(Listening);
            D->SetTransmitPort(Peer.localPort());
            Control<QPushButton>(*D, "btnOk")->click();
        });
        return Udp.Open("UDP");
    }

    void SendToDevice(const QByteArray& Data) {
        Peer.writeDatagram(Data, QHostAddress::LocalHost, Udp.LocalPort());
    }

    QByteArray ReadAll() {
        QByteArray out;
        uint8_t buf[4096];
        int32_t n;
        while ((n = Udp.Read(buf, sizeof buf)) > 0)
            out.append(reinterpret_cast<const char*>(buf), n);
        return out;
    }

    QUdpSocket Peer;
    TUDPDevice Udp{nullptr};
    int Connected = 0;
    int Disconnected = 0;
    std::vector<int32_t> Counts;
};
} // namespace

TEST_F(UDPDeviceTest, DatagramsJoinIntoOneStreamInArrivalOrder) {
    const quint16 port = FreeUdpPort();
    ASSERT_EQ(OpenVia("127.0.0.1", port), E_SUCCESS);
    EXPECT_TRUE(Udp.IsOpen());
    EXPECT_EQ(Udp.LocalPort(), port);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));

    const QByteArray a(10, 'a'), b(20, 'b');
    SendToDevice(a);
    ASSERT_TRUE(WaitUntil([&] { return Counts.size() == 1; }));
    SendToDevice(b);
    ASSERT_TRUE(WaitUntil([&] { return Counts.size() == 2; }));
    EXPECT_EQ(Counts, (std::vector<int32_t>{10, 20}));
    EXPECT_EQ(Udp.BytesAvailable(), 30);
    EXPECT_EQ(ReadAll(), a + b);

    // Datagrams from any sender are taken.
    QUdpSocket stranger;
    stranger.writeDatagram("xyz", QHostAddress::LocalHost, port);
    ASSERT_TRUE(WaitUntil([&] { return Counts.size() == 3; }));
    EXPECT_EQ(ReadAll(), "xyz");
}

TEST_F(UDPDeviceTest, ABurstLargerThanTheQueueReachesAReadingHandlerWhole) {
    QByteArray received;
    Udp.OnDataAvailable = [&](TDevice*, int32_t) {
        uint8_t buf[4096];
        const int32_t n = Udp.Read(buf, sizeof buf);
        received.append(reinterpret_cast<const char*>(buf), n);
    };
    ASSERT_EQ(OpenVia("127.0.0.1", FreeUdpPort()), E_SUCCESS);
    QByteArray sent;
    for (int i = 0; i < 10; ++i) {
        const QByteArray d(1000, char('0' + i));
        SendToDevice(d);
        sent += d;
    }
    ASSERT_TRUE(WaitUntil([&] { return received.size() >= sent.size(); }, 3000)) << received.size();
    EXPECT_EQ(received, sent);
}

TEST_F(UDPDeviceTest, EveryWriteIsOneDatagramOfAtMost4096Bytes) {
    ASSERT_EQ(OpenVia("127.0.0.1", FreeUdpPort()), E_SUCCESS);
    std::vector<uint8_t> big(4097, 0x5A);
    EXPECT_EQ(Udp.Write(big.data(), 4097), E_RANGE_ERROR);
    EXPECT_EQ(Udp.Write(big.data(), 4096), E_SUCCESS);
    EXPECT_EQ(Udp.Write(big.data(), 0), E_WRITE_ERROR) << "an empty datagram is no packet";
    ASSERT_TRUE(WaitUntil([&] { return Peer.hasPendingDatagrams(); }));
    const QNetworkDatagram d = Peer.receiveDatagram();
    EXPECT_EQ(d.data().size(), 4096);
    EXPECT_EQ(d.senderPort(), Udp.LocalPort()) << "sent from the listening port";
    ProcessEventsFor(50);
    EXPECT_FALSE(Peer.hasPendingDatagrams()) << "the refused write sent nothing";
}

TEST_F(UDPDeviceTest, NullAddressFailsEveryWriteAndAnUnresolvableNameTheOpen) {
    const uint8_t byte = 1;
    ASSERT_EQ(OpenVia("0.0.0.0", FreeUdpPort()), E_SUCCESS);
    EXPECT_EQ(Udp.Write(&byte, 1), E_WRITE_ERROR);
    EXPECT_EQ(Udp.Write(&byte, 1), E_WRITE_ERROR);
    // Said as such, and no port is taken for a link that cannot reach anybody.
    const quint16 port = FreeUdpPort();
    EXPECT_EQ(OpenVia("not a host name!", port), E_IO_ERROR);
    EXPECT_FALSE(Udp.IsOpen());
    EXPECT_TRUE(Udp.LastError().startsWith("not a host name!: ")) << Udp.LastError().toStdString();
    QUdpSocket again;
    EXPECT_TRUE(again.bind(QHostAddress::AnyIPv4, port));
    again.close();
    ASSERT_EQ(OpenVia("localhost", FreeUdpPort()), E_SUCCESS);
    EXPECT_TRUE(Udp.LastError().isEmpty());
    EXPECT_EQ(Udp.Write(&byte, 1), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Peer.hasPendingDatagrams(); }));
}

TEST_F(UDPDeviceTest, CloseFreesThePortForTheNextOpen) {
    const quint16 port = FreeUdpPort();
    ASSERT_EQ(OpenVia("127.0.0.1", port), E_SUCCESS);
    EXPECT_EQ(Udp.Close(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 1);
    EXPECT_FALSE(Udp.IsOpen());
    EXPECT_EQ(Udp.Read(nullptr, 1), -1);
    EXPECT_EQ(Udp.Write(reinterpret_cast<const uint8_t*>("x"), 1), E_WRITE_ERROR);
    Udp.Close();
    EXPECT_EQ(Disconnected, 2) << "raised also when nothing was open";
    ProcessEventsFor(80);
    EXPECT_EQ(Connected, 0) << "a closed transport does not come up";

    ASSERT_EQ(OpenVia("127.0.0.1", port), E_SUCCESS);
    SendToDevice("again");
    ASSERT_TRUE(WaitUntil([&] { return !Counts.empty(); }));
    EXPECT_EQ(ReadAll(), "again");
}

TEST_F(UDPDeviceTest, ABusyListeningPortFailsTheOpen) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0));
    EXPECT_EQ(OpenVia("127.0.0.1", holder.localPort()), E_IO_ERROR);
    EXPECT_FALSE(Udp.IsOpen());
    EXPECT_TRUE(Udp.LastError().startsWith(QStringLiteral("UDP port %1: ").arg(holder.localPort())))
        << Udp.LastError().toStdString();
    EXPECT_FALSE(Settings.Exists("udp.cfg"));
}

TEST_F(UDPDeviceTest, FullQueueDropsWhatDoesNotFit) {
    Udp.OnDataAvailable = nullptr; // nobody reads
    ASSERT_EQ(OpenVia("127.0.0.1", FreeUdpPort()), E_SUCCESS);
    SendToDevice(QByteArray(3000, 'a'));
    SendToDevice(QByteArray(3000, 'b'));
    ASSERT_TRUE(WaitUntil([&] { return Udp.BytesAvailable() == 4095; }));
    const QByteArray got = ReadAll();
    EXPECT_EQ(got, QByteArray(3000, 'a') + QByteArray(1095, 'b'));
}

TEST_F(UDPDeviceTest, OpenFromSettingsNeedsAddressAndBothPorts) {
    TIniFile section(Settings.Path("zelctl.ini"));
    section.WriteString("link", "ipaddr", "127.0.0.1");
    section.WriteInteger("link", "listening_port", FreeUdpPort());
    EXPECT_EQ(Udp.OpenFromSettings(section, "link"), E_INVALID_PARAMETER);
    section.WriteInteger("link", "transmit_port", Peer.localPort());
    EXPECT_EQ(Udp.OpenFromSettings(section, "link"), E_SUCCESS);
    EXPECT_EQ(Udp.StoredSettings().TransmitPort, Peer.localPort());
    const uint8_t b[] = {1, 2, 3};
    EXPECT_EQ(Udp.Write(b, 3), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Peer.hasPendingDatagrams(); }));
    TIniFile out(Settings.Path("out.ini"));
    Udp.WriteSettings(out, "s");
    EXPECT_EQ(out.ReadString("s", "device", ""), "Ethernet/UDP");
    EXPECT_EQ(out.ReadInteger("s", "transmit_port", 0), Peer.localPort());
}

TEST_F(UDPDeviceTest, HostNamesAreLookedUpForEveryDatagramWhileEventsRun) {
    const struct {
        const char* Address;
        TStat Result;
        bool EventsRan; // a name is looked up in the background; an address needs no lookup
    } rows[] = {
        {"127.0.0.1", E_SUCCESS, false},
        {"localhost", E_SUCCESS, true},
        {"0.0.0.0", E_WRITE_ERROR, false},
    };
    const uint8_t byte = 7;
    for (const auto& row : rows) {
        ASSERT_EQ(OpenVia(row.Address, FreeUdpPort()), E_SUCCESS) << row.Address;
        for (int datagram = 0; datagram < 2; ++datagram) {
            bool ran = false;
            QTimer::singleShot(0, &Peer, [&] { ran = true; });
            EXPECT_EQ(Udp.Write(&byte, 1), row.Result) << row.Address;
            EXPECT_EQ(ran, row.EventsRan) << row.Address << " datagram " << datagram;
            ProcessEventsFor(1);
        }
        if (row.Result == E_SUCCESS) {
            ASSERT_TRUE(WaitUntil([&] { return Peer.pendingDatagramSize() >= 0; }));
            EXPECT_EQ(Peer.receiveDatagram().data(), QByteArray(1, char(byte))) << row.Address;
            ASSERT_TRUE(WaitUntil([&] { return Peer.pendingDatagramSize() >= 0; }));
            EXPECT_EQ(Peer.receiveDatagram().data(), QByteArray(1, char(byte))) << row.Address;
        }
    }
}

TEST_F(UDPDeviceTest, OpenKeepsEachPortUnderItsOwnKey) {
    const quint16 listening = FreeUdpPort();
    ASSERT_NE(listening, Peer.localPort());
    ASSERT_EQ(OpenVia("127.0.0.1", listening), E_SUCCESS);
    TIniFile own(Settings.Path("udp.cfg"));
    EXPECT_EQ(own.ReadInteger("common", "listening_port", 0), listening);
    EXPECT_EQ(own.ReadInteger("common", "transmit_port", 0), Peer.localPort());
    EXPECT_EQ(own.ReadString("common", "ipaddr", ""), "127.0.0.1");
    TIniFile section(Settings.Path("zelctl.ini"));
    Udp.WriteSettings(section, "s");
    EXPECT_EQ(section.ReadInteger("s", "listening_port", 0), listening);
    EXPECT_EQ(section.ReadInteger("s", "transmit_port", 0), Peer.localPort());
    // The next transport prefills its dialog from what this one saved.
    TUDPDevice next(nullptr);
    EXPECT_EQ(next.StoredSettings().ListeningPort, listening);
    EXPECT_EQ(next.StoredSettings().TransmitPort, Peer.localPort());
}
