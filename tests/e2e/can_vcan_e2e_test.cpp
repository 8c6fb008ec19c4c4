// The CAN transport on a real SocketCAN interface: a vcan interface of the test's own, zel-sim's
// CAN link on the same interface, and the interface deleted under the open link. Creating a vcan
// interface needs the vcan kernel module and CAP_NET_ADMIN; without them the test is skipped.
#include "transports/CANDevice.h"
#include "transports/CanLib.h"
#include "platform/IniFile.h"
#include "protocol/PacketReceiver.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "protocol/stat.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {
// Runs ip(8); false with its output when it cannot be run or fails.
bool Ip(const QStringList& Args, QString* Output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ip"), Args);
    const bool done = p.waitForFinished(5000);
    if (Output)
        *Output = done ? QString::fromLocal8Bit(p.readAll()).trimmed() : p.errorString();
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class VcanEndToEndTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        Name = QStringLiteral("zelvcan%1").arg(QCoreApplication::applicationPid() % 100000);
        QString output;
        if (!Ip({QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("dev"), Name,
                 QStringLiteral("type"), QStringLiteral("vcan")},
                &output))
            GTEST_SKIP() << "no vcan interface here: 'ip link add dev " << Name.toStdString()
                         << " type vcan' failed (" << output.toStdString()
                         << "); it needs the vcan kernel module and CAP_NET_ADMIN";
        Created = true;
        ASSERT_TRUE(Ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("dev"), Name,
                        QStringLiteral("up")},
                       &output))
            << output.toStdString();
        Settings.WriteFile(QStringLiteral("can.cfg"), "[common]\nbackend=socketcan\n");
    }
    void TearDown() override {
        Sim.reset();
        if (Created)
            Ip({QStringLiteral("link"), QStringLiteral("delete"), QStringLiteral("dev"), Name});
        EXPECT_EQ(CanOpenHandleCount(), 0);
    }

    QString Name;
    bool Created = false;
    std::unique_ptr<zelsim::TSimulator> Sim;
};
} // namespace

TEST_F(VcanEndToEndTest, ExchangesWithTheSimulatorAndReportsTheDeletedInterface) {
    TCANDevice dev(nullptr);
    TByteArray received;
    int disconnected = 0;
    dev.OnDataAvailable = [&](TDevice*, int32_t Count) {
        uint8_t buf[4096];
        const int32_t n = dev.Read(buf, std::min(Count, 4096));
        received.insert(received.end(), buf, buf + std::max(n, 0));
    };
    dev.OnDisconnected = [&](TDevice*) { ++disconnected; };

    // The interface is listed by name, up, like every other SocketCAN interface of the machine.
    QStringList ports;
    dev.GetPortList(ports);
    EXPECT_TRUE(std::any_of(ports.begin(), ports.end(), [&](const QString& P) {
        return P.endsWith(QStringLiteral(" (%1)").arg(Name));
    })) << ports.join(u',').toStdString();

    zelsim::TSimConfig cfg;
    cfg.Can = "socketcan:" + Name.toStdString() + ":100";
    cfg.Gripper.StartReferenced = true;
    Sim = std::make_unique<zelsim::TSimulator>(cfg);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;

    // A virtual interface has no bit rate: any code opens it as it is.
    TIniFile script(Settings.Path(QStringLiteral("script.ini")));
    script.WriteString(QStringLiteral("link"), QStringLiteral("interface"), Name);
    script.WriteInteger(QStringLiteral("link"), QStringLiteral("bitrate"), 0);
    script.WriteInteger(QStringLiteral("link"), QStringLiteral("id"), 100);
    ASSERT_EQ(dev.OpenFromSettings(script, QStringLiteral("link")), E_SUCCESS);

    const TByteArray request = MakeFrame(LOOP, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const TByteArray expected = MakeFrame(LOOP, {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_EQ(dev.Write(request.data(), int32_t(request.size())), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return received.size() >= expected.size(); }));
    EXPECT_EQ(received, expected);

    TMessageRecorder boxes;
    TRecordingErrorHandler errors;
    ASSERT_TRUE(Ip({QStringLiteral("link"), QStringLiteral("delete"), QStringLiteral("dev"), Name}));
    Created = false;
    ASSERT_TRUE(errors.WaitFor(1));
    ProcessEventsFor(500);
    ASSERT_EQ(boxes.Count(), 1);
    // Deleting takes the interface down first; either is the lost link.
    EXPECT_TRUE(boxes.Texts()[0] ==
                    QStringLiteral("CAN Error: Connection to CAN-Interface lost (E0000013h)") ||
                boxes.Texts()[0] == QStringLiteral("CAN Error: Connection to CAN-Interface lost (E0000019h)"))
        << boxes.Texts()[0].toStdString();
    EXPECT_EQ(errors.Messages(), QStringList{QStringLiteral("Cannot access CAN-Hardware")});
    EXPECT_EQ(dev.Close(), E_SUCCESS);
    EXPECT_EQ(disconnected, 1);
}
