#include "linkdialogs/HostnameDialog.h"
#include "ModalDriver.h"
#include "transports/TCPDevice.h"
#include "TempSettingsFolder.h"
#include "TestPeers.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {
class TCPDeviceTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server.listen(QHostAddress::LocalHost));
        Tcp.OnConnected = [this](TDevice* S) {
            EXPECT_EQ(S, &Tcp);
            ++Connected;
        };
        Tcp.OnDisconnected = [this](TDevice*) { ++Disconnected; };
        Tcp.OnDataAvailable = [this](TDevice*, int32_t Count) {
            Counts.push_back(Count);
            uint8_t buf[4096];
            const int32_t n = Tcp.Read(buf, 4096);
            if (n > 0)
                Received.append(reinterpret_cast<const char*>(buf), n);
        };
    }

    TStat OpenVia(const QString& Host, quint16 Port) {
        TModalDriver driver;
        driver.ThenAs<THostNameDlg>([&](THostNameDlg* D) {
            D->SetHost(Host);
            D->SetPort(Port);
            Control<QPushButton>(*D, "btnOk")->click();
        });
        return Tcp.Open("TCP");
    }

    QTcpSocket* Accept() {
        if (!WaitUntil([&] { return Server.hasPendingConnections(); }))
            return nullptr;
        return Server.nextPendingConnection();
    }

    QTcpServer Server;
    TTCPDevice Tcp{nullptr};
    int Connected = 0;
    int Disconnected = 0;
    std::vector<int32_t> Counts;
    QByteArray Received;
};
} // namespace

TEST_F(TCPDeviceTest, OpenStartsTheConnectionAndThePollReportsItOnce) {
    EXPECT_EQ(Tcp.Read(nullptr, 10), -1);
    EXPECT_EQ(Tcp.Write(reinterpret_cast<const uint8_t*>("x"), 1), E_NOT_OPENED);
    EXPECT_EQ(OpenVia("127.0.0.1", Server.serverPort()), E_SUCCESS);
    EXPECT_EQ(Connected, 0) << "OnConnected only from the poll";
    QTcpSocket* peer = Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    ProcessEventsFor(150);
    EXPECT_EQ(Connected, 1);
    EXPECT_TRUE(Tcp.IsOpen());

    const QByteArray frame("\xAA\xAA\xAA\x06\x00\x00\x97\x26", 8);
    EXPECT_EQ(Tcp.Write(reinterpret_cast<const uint8_t*>(frame.constData()), 8), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return peer->bytesAvailable() >= 8; }));
    EXPECT_EQ(peer->readAll(), frame);

    peer->write("hello");
    ASSERT_TRUE(WaitUntil([&] { return Received.size() == 5; }));
    EXPECT_EQ(Received, "hello");
    EXPECT_EQ(Counts.front(), 5);
    EXPECT_EQ(Tcp.BytesAvailable(), 0);

    QStringList ports{"stale"};
    Tcp.GetPortList(ports);
    EXPECT_EQ(ports, QStringList{"TCP"});

    TIniFile section(Settings.Path("zelctl.ini"));
    Tcp.WriteSettings(section, "link");
    EXPECT_EQ(section.ReadString("link", "device", ""), "Ethernet/TCP");
    EXPECT_EQ(section.ReadString("link", "host", ""), "127.0.0.1");
    EXPECT_EQ(section.ReadInteger("link", "port", 0), Server.serverPort());

    EXPECT_EQ(Tcp.Close(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 1);
    EXPECT_FALSE(Tcp.IsOpen());
    EXPECT_EQ(Tcp.Close(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 1) << "nothing was open the second time";
    delete peer;
}

TEST_F(TCPDeviceTest, LeftoverBytesAreAnnouncedAgainUntilRead) {
    // A handler that takes at most 4096 bytes per call, as the engine does.
    Tcp.OnDataAvailable = [this](TDevice*, int32_t Count) {
        Counts.push_back(Count);
        uint8_t buf[4096];
        const int32_t n = Tcp.Read(buf, std::min<int32_t>(Count, 4096));
        if (n > 0)
            Received.append(reinterpret_cast<const char*>(buf), n);
    };
    ASSERT_EQ(OpenVia("127.0.0.1", Server.serverPort()), E_SUCCESS);
    QTcpSocket* peer = Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitUntil([&] { return Tcp.IsOpen(); }));
    QByteArray data(10000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i % 251);
    peer->write(data);
    ASSERT_TRUE(WaitUntil([&] { return Received.size() == data.size(); })) << Received.size();
    EXPECT_EQ(Received, data);
    EXPECT_GE(Counts.size(), 3u);
    delete peer;
}

TEST_F(TCPDeviceTest, PeerHangingUpIsReportedAndStopsSending) {
    ASSERT_EQ(OpenVia("127.0.0.1", Server.serverPort()), E_SUCCESS);
    QTcpSocket* peer = Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    TRecordingErrorHandler errors;
    peer->close();
    ASSERT_TRUE(WaitUntil([&] { return Disconnected == 1; }));
    EXPECT_FALSE(Tcp.IsOpen());
    EXPECT_EQ(Tcp.Write(reinterpret_cast<const uint8_t*>("x"), 1), E_NOT_OPENED);
    EXPECT_EQ(Tcp.Read(nullptr, 1), -1);
    Tcp.Close();
    EXPECT_EQ(Disconnected, 1);
    EXPECT_EQ(errors.Count(), 0) << errors.Messages().join("; ").toStdString();
    delete peer;
}

TEST_F(TCPDeviceTest, RefusedConnectionSurfacesThroughTheApplicationHandler) {
    TRecordingErrorHandler errors;
    const quint16 closed = ClosedTcpPort();
    EXPECT_EQ(OpenVia("127.0.0.1", closed), E_SUCCESS) << "the attempt only starts";
    TIniFile ini(Settings.Path("tcp.cfg"));
    EXPECT_EQ(ini.ReadInteger("common", "port", 0), closed) << "saved before the outcome is known";
    ASSERT_TRUE(errors.WaitFor(1));
    // The fixed text, then the address and the system's reason.
    const QString address = QStringLiteral("127.0.0.1:%1").arg(closed);
    EXPECT_EQ(
        errors.Messages(),
        QStringList{QStringLiteral("Error while establishing socket connection (%1: Connection refused)")
                        .arg(address)});
    EXPECT_EQ(Tcp.LastError(), address + QStringLiteral(": Connection refused"));
    try {
        std::rethrow_exception(errors.Errors().front());
    } catch (const ECommunicationError&) {
    } catch (...) {
        ADD_FAILURE() << "not an ECommunicationError";
    }
    ProcessEventsFor(120);
    EXPECT_EQ(Connected, 0);
    EXPECT_FALSE(Tcp.IsOpen());
}

TEST_F(TCPDeviceTest, UnknownHostIsAnErrorOfItsOwn) {
    TRecordingErrorHandler errors;
    // Not a valid host name at all, so no name server is asked.
    EXPECT_EQ(OpenVia("no such host!", Server.serverPort()), E_SUCCESS);
    ASSERT_TRUE(errors.WaitFor(1, 10000));
    EXPECT_TRUE(errors.Messages().front().startsWith("Host \"no such host!\" not found"))
        << errors.Messages().front().toStdString();
    try {
        std::rethrow_exception(errors.Errors().front());
    } catch (const ECommunicationError&) {
        ADD_FAILURE() << "a failed lookup is not a connection error";
    } catch (const std::exception&) {
    }
    EXPECT_EQ(Connected, 0);
}

TEST_F(TCPDeviceTest, ClosingAPendingAttemptKeepsItFromComingUpLater) {
    // "localhost" needs a lookup, so the attempt is still pending when Close comes.
    ASSERT_EQ(OpenVia("localhost", Server.serverPort()), E_SUCCESS);
    ASSERT_NE(Tcp.Socket()->state(), QAbstractSocket::ConnectedState);
    Tcp.Close();
    EXPECT_EQ(Disconnected, 0) << "nothing was established";
    ProcessEventsFor(200);
    EXPECT_EQ(Connected, 0);
    EXPECT_FALSE(Tcp.IsOpen());

    // Reopening while an attempt is pending starts over cleanly.
    ASSERT_EQ(OpenVia("localhost", Server.serverPort()), E_SUCCESS);
    ASSERT_EQ(OpenVia("127.0.0.1", Server.serverPort()), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    ProcessEventsFor(150);
    EXPECT_EQ(Connected, 1);
}

TEST_F(TCPDeviceTest, OpenFromSettingsChecksItsSection) {
    TIniFile section(Settings.Path("zelctl.ini"));
    EXPECT_EQ(Tcp.OpenFromSettings(section, "link"), E_INVALID_PARAMETER);
    section.WriteString("link", "host", "127.0.0.1");
    section.WriteInteger("link", "port", 70000);
    EXPECT_EQ(Tcp.OpenFromSettings(section, "link"), E_INVALID_PARAMETER);
    section.WriteInteger("link", "port", Server.serverPort());
    EXPECT_EQ(Tcp.OpenFromSettings(section, "link"), E_SUCCESS);
    EXPECT_EQ(Tcp.StoredSettings().Port, Server.serverPort());
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    TIniFile own(Settings.Path("tcp.cfg"));
    EXPECT_EQ(own.ReadString("common", "host", ""), "127.0.0.1");
}

TEST_F(TCPDeviceTest, DestroyingAnOpenTransportRaisesNoCallback) {
    auto tcp = std::make_unique<TTCPDevice>(nullptr);
    int disconnected = 0;
    tcp->OnDisconnected = [&](TDevice*) { ++disconnected; };
    ASSERT_EQ(tcp->OpenFromSettings(*std::make_unique<TIniFile>(Settings.Path("none.ini")), "x"),
              E_INVALID_PARAMETER);
    TIniFile section(Settings.Path("zelctl.ini"));
    section.WriteString("link", "host", "127.0.0.1");
    section.WriteInteger("link", "port", Server.serverPort());
    ASSERT_EQ(tcp->OpenFromSettings(section, "link"), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return tcp->IsOpen(); }));
    tcp.reset();
    EXPECT_EQ(disconnected, 0);
}

TEST(TCPErrorTexts, OneTextPerKindOfFailure) {
    using K = TTCPDevice::TSocketErrorKind;
    const std::pair<K, const char*> rows[] = {
        {K::General, "General socket communication error"},
        {K::Send, "Error while writing to socket"},
        {K::Receive, "Error while reading from socket"},
        {K::Connect, "Error while establishing socket connection"},
        {K::Disconnect, "Error while closing socket connection"},
        {K::Accept, "Error while trying to accept a client connection request"},
        {K::Other, "Unknown socket error"},
    };
    for (const auto& [kind, text] : rows)
        EXPECT_EQ(TTCPDevice::ErrorText(kind), text) << int(kind);
}

TEST_F(TCPDeviceTest, AnErrorOnAnEstablishedLinkIsNamedByWhatWasInProgress) {
    ASSERT_EQ(OpenVia("127.0.0.1", Server.serverPort()), E_SUCCESS);
    std::unique_ptr<QTcpSocket> peer(Accept());
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    QTcpSocket* socket = Tcp.Socket();
    auto fail = [socket] { emit socket->errorOccurred(QAbstractSocket::NetworkError); };
    const uint8_t frame[] = {0xAA, 0xAA, 0xAA, 0x06, 0x00, 0x00, 0x97, 0x26};

    TRecordingErrorHandler errors;
    fail(); // nothing to send: the socket was receiving
    // Bytes still waiting to go out: the socket was sending.
    socket->write("x", 1);
    fail();
    socket->readAll();
    // Inside Write the failure is its result, not a report.
    auto during = QObject::connect(socket, &QTcpSocket::bytesWritten, socket, fail);
    EXPECT_EQ(Tcp.Write(frame, 8), E_WRITE_ERROR);
    QObject::disconnect(during);
    const QString where = QStringLiteral(" (127.0.0.1:%1: ").arg(Server.serverPort());
    ASSERT_EQ(errors.Count(), 2);
    EXPECT_TRUE(errors.Messages()[0].startsWith("Error while reading from socket" + where))
        << errors.Messages()[0].toStdString();
    EXPECT_TRUE(errors.Messages()[1].startsWith("Error while writing to socket" + where))
        << errors.Messages()[1].toStdString();

    // A failure while the link closes is reported once the close is done.
    errors.Clear();
    QObject::connect(socket, &QIODevice::aboutToClose, socket, fail);
    EXPECT_EQ(Tcp.Close(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 1);
    ASSERT_EQ(errors.Count(), 1);
    EXPECT_TRUE(errors.Messages()[0].startsWith("Error while closing socket connection" + where))
        << errors.Messages()[0].toStdString();
    for (const std::exception_ptr& e : errors.Errors())
        EXPECT_THROW(std::rethrow_exception(e), ECommunicationError);
}
