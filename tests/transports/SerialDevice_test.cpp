#include "linkdialogs/BaudrateDialog.h"
#include "ModalDriver.h"
#include "transports/SerialDevice.h"
#include "TempSettingsFolder.h"
#include "TestPeers.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"
#include "transports/baudrate.h"

#include <QComboBox>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {
class SerialDeviceTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(Pty.Ok());
        Serial.OnConnected = [this](TDevice*) { ++Connected; };
        Serial.OnDisconnected = [this](TDevice*) { ++Disconnected; };
        Serial.OnDataAvailable = [this](TDevice*, int32_t Count) {
            Counts.push_back(Count);
            uint8_t buf[4096];
            const int32_t n = Serial.Read(buf, std::min<int32_t>(Count, 4096));
            if (n > 0)
                Received.append(reinterpret_cast<const char*>(buf), n);
        };
    }

    TStat OpenAt(const QString& Port, const QString& Speed) {
        TModalDriver driver;
        driver.ThenAs<TBaudrateDlg>([&](TBaudrateDlg* D) {
            Control<QComboBox>(*D, "cbBaudrate")->setCurrentText(Speed);
            Control<QPushButton>(*D, "btnOk")->click();
        });
        return Serial.Open(Port);
    }

    TPty Pty;
    TSerialDevice Serial{nullptr};
    int Connected = 0;
    int Disconnected = 0;
    std::vector<int32_t> Counts;
    QByteArray Received;
};
} // namespace

TEST_F(SerialDeviceTest, OpensAPseudoTerminalByPathAndMovesBytesBothWays) {
    ASSERT_EQ(OpenAt(Pty.SlavePath(), "57600 baud"), E_SUCCESS);
    EXPECT_TRUE(Serial.IsOpen());
    EXPECT_EQ(Serial.Port()->baudRate(), 57600);
    EXPECT_EQ(Serial.Port()->dataBits(), QSerialPort::Data8);
    EXPECT_EQ(Serial.Port()->parity(), QSerialPort::NoParity);
    EXPECT_EQ(Serial.Port()->stopBits(), QSerialPort::OneStop);
    EXPECT_EQ(Serial.Port()->flowControl(), QSerialPort::NoFlowControl);
    TIniFile ini(Settings.Path("uart.cfg"));
    EXPECT_EQ(ini.ReadInteger("common", "baudrate", 0), 57600);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));

    const uint8_t frame[] = {0xAA, 0xAA, 0xAA, 0x06, 0x00, 0x00, 0x97, 0x26};
    EXPECT_EQ(Serial.Write(frame, 8), E_SUCCESS);
    EXPECT_EQ(Pty.Receive(8), QByteArray(reinterpret_cast<const char*>(frame), 8));

    ASSERT_TRUE(Pty.Send("answer"));
    ASSERT_TRUE(WaitUntil([&] { return Received.size() == 6; }));
    EXPECT_EQ(Received, "answer");

    TIniFile section(Settings.Path("zelctl.ini"));
    Serial.WriteSettings(section, "link");
    EXPECT_EQ(section.ReadString("link", "device", ""), "Serial (RS232)");
    EXPECT_EQ(section.ReadInteger("link", "baudrate", 0), 57600);

    Serial.Close();
    EXPECT_EQ(Disconnected, 1);
    EXPECT_EQ(Serial.Read(nullptr, 1), -1);
    EXPECT_EQ(Serial.Write(frame, 8), E_NOT_OPENED);
    EXPECT_EQ(Serial.BytesAvailable(), 0);
    Serial.Close();
    EXPECT_EQ(Disconnected, 2) << "raised also when nothing was open";

    // The section written above opens the same port headless.
    ASSERT_EQ(Serial.OpenFromSettings(section, "link"), E_SUCCESS);
    EXPECT_EQ(Serial.Port()->baudRate(), 57600);
}

TEST_F(SerialDeviceTest, MissingOrEmptyPortsFailWithoutTouchingTheSettings) {
    EXPECT_EQ(OpenAt("/dev/does-not-exist", "9600 baud"), E_IO_ERROR);
    EXPECT_EQ(OpenAt("", "9600 baud"), E_IO_ERROR);
    EXPECT_FALSE(Serial.IsOpen());
    EXPECT_FALSE(Settings.Exists("uart.cfg"));
    ProcessEventsFor(80);
    EXPECT_EQ(Connected, 0);

    TIniFile section(Settings.Path("zelctl.ini"));
    EXPECT_EQ(Serial.OpenFromSettings(section, "link"), E_CMD_ABORTED);
    section.WriteString("link", "port", "/dev/does-not-exist");
    section.WriteInteger("link", "baudrate", 115200);
    EXPECT_EQ(Serial.OpenFromSettings(section, "link"), E_IO_ERROR);
}

TEST_F(SerialDeviceTest, LargePacketsGoOutWholeAndAStalledPortFailsTheWrite) {
    ASSERT_EQ(OpenAt(Pty.SlavePath(), "115200 baud"), E_SUCCESS);
    // Larger than any fixed output buffer: written whole while the peer reads.
    std::vector<uint8_t> packet(20000);
    for (size_t i = 0; i < packet.size(); ++i)
        packet[i] = uint8_t(i * 7);
    QByteArray got;
    std::thread reader([&] { got = Pty.Receive(int(packet.size()), 5000); });
    EXPECT_EQ(Serial.Write(packet.data(), int32_t(packet.size())), E_SUCCESS);
    reader.join();
    EXPECT_EQ(got, QByteArray(reinterpret_cast<const char*>(packet.data()), qsizetype(packet.size())));

    // Nobody reads the other end: the port stops taking bytes and the write gives up.
    std::vector<uint8_t> huge(size_t(MaxFrameLength) * 4, 0x55);
    EXPECT_EQ(Serial.Write(huge.data(), int32_t(huge.size())), E_WRITE_ERROR);
    EXPECT_TRUE(Serial.IsOpen());
}

TEST_F(SerialDeviceTest, AVanishedPortIsReportedOnce) {
    ASSERT_EQ(OpenAt(Pty.SlavePath(), "9600 baud"), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return Connected == 1; }));
    TRecordingErrorHandler errors;
    Pty.CloseMaster();
    // Every read fails after a hang-up; the transport must report that once and stop reading,
    // not flood the handler from every turn of the event loop.
    ASSERT_TRUE(errors.WaitFor(1, 2000));
    ProcessEventsFor(100);
    EXPECT_EQ(errors.Count(), 1);
    EXPECT_TRUE(errors.Messages().front().startsWith("Serial port failure"))
        << errors.Messages().front().toStdString();
    EXPECT_FALSE(Serial.IsOpen());
    EXPECT_EQ(Disconnected, 1) << "a lost port ends with its disconnect, as any lost link";
}

TEST_F(SerialDeviceTest, PortListIsSortedAndUnique) {
    QStringList ports{"stale"};
    Serial.GetPortList(ports);
    EXPECT_FALSE(ports.contains("stale"));
    QStringList unique = ports;
    unique.removeDuplicates();
    EXPECT_EQ(unique, ports);
    EXPECT_EQ(Serial.InterfaceName, "Serial (RS232)");

    // A pseudo-terminal named in the settings is offered while it exists.
    Settings.WriteFile("uart.cfg", "[Common]\nPortname=" + Pty.SlavePath().toUtf8() + "\n");
    Serial.GetPortList(ports);
    EXPECT_TRUE(ports.contains(Pty.SlavePath()));
    Settings.WriteFile("uart.cfg", "[Common]\nPortname=/nonexistent/zel-tty\n");
    Serial.GetPortList(ports);
    EXPECT_FALSE(ports.contains("/nonexistent/zel-tty"));
}

TEST_F(SerialDeviceTest, ALargeWriteKeepsEventsRunningWhileThePortDrains) {
    ASSERT_EQ(OpenAt(Pty.SlavePath(), "9600 baud"), E_SUCCESS);
    // The largest frame; far more than the terminal takes at once.
    std::vector<uint8_t> packet(static_cast<size_t>(MaxFrameLength));
    for (size_t i = 0; i < packet.size(); ++i)
        packet[i] = uint8_t(i * 13 + 1);
    // The other end is read by a timer of this thread: it only runs while the write lets events run.
    QByteArray got;
    int ticks = 0;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        ++ticks;
        got += Pty.Receive(int(packet.size()) - int(got.size()), 1);
    });
    reader.start(5);
    EXPECT_EQ(Serial.Write(packet.data(), int32_t(packet.size())), E_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return got.size() >= qsizetype(packet.size()); }, 5000)) << got.size();
    EXPECT_EQ(got, QByteArray(reinterpret_cast<const char*>(packet.data()), qsizetype(packet.size())));
    EXPECT_GT(ticks, 1);
}

// The exchange waits with a timer kept from one wait to the next, which may be armed for any
// moment: early, it only costs a pass; late, the wait must not stay past its limit.
TEST(EventWait, ASharedWakeTimerNeitherEndsTheWaitEarlyNorKeepsItPastItsLimit) {
    constexpr uint32_t Limit = 60;
    for (const int armedMs : {-1, 5, 60, 20000}) {
        QTimer wake;
        wake.setSingleShot(true);
        if (armedMs >= 0)
            wake.start(armedMs);
        QElapsedTimer clock;
        clock.start();
        TEventWait wait(Limit, wake);
        while (wait.Elapsed() <= Limit && clock.elapsed() < 10000)
            wait.Pass();
        EXPECT_GE(clock.elapsed(), qint64(Limit)) << armedMs;
        EXPECT_LT(clock.elapsed(), 10000) << armedMs << ": kept waiting for a late timer";
    }
}
