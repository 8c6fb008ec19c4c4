// What arrives behind a report that cannot be decoded still reaches the gripper's handlers, with
// no further traffic: over every byte-stream link, and inside a synchronous exchange.
#include "engine/CommandComponent.h"
#include "DeviceTestLink.h"
#include "platform/IniFile.h"
#include "ScriptedPeer.h"
#include "TempSettingsFolder.h"
#include "TestPeers.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "zel/ZEL.h"
#include "protocol/convert.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <memory>

namespace {
TPacket Report(int32_t ID, uint16_t Status, const TByteArray& Data) {
    TByteArray payload(2);
    WriteWord(payload.data(), Status);
    payload.insert(payload.end(), Data.begin(), Data.end());
    return MakeTestPacket(ID, payload);
}

TByteArray Float(float F) {
    TByteArray b(4);
    WriteSingle(b.data(), F);
    return b;
}

QByteArray Frame(const TPacket& P) {
    const TByteArray f = MakeFrame(P.CommandID, P.Payload);
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

// A grasping state of 8 (refused by the decoder), a position report and the final MOVE result.
// Over a stream a long report sits between them, so that the last two lie beyond the first read.
std::vector<TPacket> Burst(bool Stream) {
    std::vector<TPacket> packets{Report(TZEL::GET_GRASPING_STATE, E_SUCCESS, {8})};
    if (Stream)
        packets.push_back(Report(0x44 /* GET_SPEED */, E_SUCCESS, TByteArray(5000, 0x11)));
    packets.push_back(Report(TZEL::GET_POS, E_SUCCESS, Float(42.5f)));
    packets.push_back(Report(TZEL::MOVE, E_SUCCESS, {}));
    return packets;
}

enum class ELink { Tcp, Udp, Serial };

struct TWatch {
    int Positions = 0;
    std::vector<TStat> Finals;
    void Hook(TZEL& Zel) {
        Zel.OnPositionChange = [this](TKORADevice*) { ++Positions; };
        Zel.AsyncResults().Register(
            TZEL::MOVE, [this](TKORADevice*, int32_t, TStat S, const TByteArray&) { Finals.push_back(S); });
    }
};
} // namespace

class ZELDelivery : public SettingsFolderTest, public ::testing::WithParamInterface<ELink> {};

TEST_P(ZELDelivery, ReportsBehindARefusedOneStillArrive) {
    TRecordingErrorHandler errors;
    TZEL zel(nullptr);
    zel.Command()->SetOnConnected(nullptr); // no connect sequence: the peer only sends
    TWatch watch;
    watch.Hook(zel);
    TIniFile link(Settings.Path("link.ini"));
    QTcpServer server;
    QUdpSocket udpPeer;
    TPty pty;
    const std::vector<TPacket> burst = Burst(GetParam() != ELink::Udp);
    std::function<void()> send;
    int transport = 0;
    switch (GetParam()) {
    case ELink::Tcp:
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        link.WriteString("l", "host", "127.0.0.1");
        link.WriteInteger("l", "port", server.serverPort());
        transport = 1;
        send = [&] {
            QTcpSocket* s = server.nextPendingConnection();
            QByteArray all;
            for (const TPacket& p : burst)
                all += Frame(p);
            s->write(all);
            s->flush();
        };
        break;
    case ELink::Udp: {
        ASSERT_TRUE(udpPeer.bind(QHostAddress::LocalHost, 0));
        const quint16 listening = FreeUdpPort();
        link.WriteString("l", "ipaddr", "127.0.0.1");
        link.WriteInteger("l", "listening_port", listening);
        link.WriteInteger("l", "transmit_port", udpPeer.localPort());
        transport = 2;
        send = [&, listening] {
            for (const TPacket& p : burst)
                udpPeer.writeDatagram(Frame(p), QHostAddress::LocalHost, listening);
        };
        break;
    }
    case ELink::Serial:
        ASSERT_TRUE(pty.Ok());
        link.WriteString("l", "port", pty.SlavePath());
        link.WriteInteger("l", "baudrate", 115200);
        transport = 0;
        send = [&] {
            QByteArray all;
            for (const TPacket& p : burst)
                all += Frame(p);
            ASSERT_TRUE(pty.Send(all));
        };
        break;
    }
    ASSERT_EQ(zel.ConnectFromSettings(transport, link, "l"), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return zel.IsConnected(); }));
    if (GetParam() == ELink::Tcp) {
        ASSERT_TRUE(WaitUntil([&] { return server.hasPendingConnections(); }));
    }
    send();

    ASSERT_TRUE(WaitUntil([&] { return watch.Positions == 1 && watch.Finals.size() == 1; }, 3000))
        << "positions " << watch.Positions << ", finals " << watch.Finals.size();
    ProcessEventsFor(100);
    EXPECT_EQ(errors.Count(), 1) << errors.Messages().join("; ").toStdString();
    EXPECT_TRUE(errors.Messages().value(0).startsWith("Assertion failure"));
    EXPECT_EQ(zel.Position, 42.5f);
    EXPECT_EQ(watch.Finals, std::vector<TStat>{E_SUCCESS});
    zel.Command()->Disconnect();
}

INSTANTIATE_TEST_SUITE_P(Links, ZELDelivery, ::testing::Values(ELink::Tcp, ELink::Udp, ELink::Serial),
                         [](const ::testing::TestParamInfo<ELink>& I) {
                             return std::string(I.param == ELink::Tcp   ? "Tcp"
                                                : I.param == ELink::Udp ? "Udp"
                                                                        : "Serial");
                         });

TEST(ZELDeliveryInExchange, ARefusedReportDuringTheWaitIsReportedAndTheRestStillArrive) {
    TTempSettingsFolder folder;
    TZEL zel(nullptr);
    TScriptedPeer peer;
    peer.SysInfoData = TScriptedPeer::SysInfo(1);
    TWatch watch;
    peer.Responder = [&](TScriptedPeer& P, const TPacket& R) {
        if (R.CommandID == TZEL::GET_SYSTEM_LIMITS)
            return P.SendStatus(R.CommandID, E_SUCCESS, TByteArray(32, 0));
        if (R.CommandID != TZEL::STOP)
            return P.AnswerDefault(R);
        // The refused report comes first, before the answer.
        std::vector<TPacket> packets = Burst(false);
        packets.push_back(Report(TZEL::STOP, E_SUCCESS, {}));
        P.SendTogether(packets);
    };
    TDeviceTestLink link(zel);
    ASSERT_TRUE(link.Connect(peer.Port()));
    watch.Hook(zel);
    TRecordingErrorHandler errors;
    // The refused report is not the stop's concern: the stop gets its own answer, and the
    // report's failure goes to the application's handler.
    EXPECT_EQ(zel.Stop(), E_SUCCESS);
    const size_t sent = peer.Received.size();
    ASSERT_TRUE(WaitUntil([&] { return watch.Positions == 1 && watch.Finals.size() == 1; }, 2000))
        << "positions " << watch.Positions << ", finals " << watch.Finals.size();
    EXPECT_EQ(peer.Received.size(), sent) << "nothing more was asked for";
    ASSERT_EQ(errors.Count(), 1);
    EXPECT_THROW(std::rethrow_exception(errors.Errors().front()), EAssertionFailed);
}
