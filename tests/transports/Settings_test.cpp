// The transports' settings files: defaults, what is written when, and damaged files.
#include "linkdialogs/BaudrateDialog.h"
#include "linkdialogs/HostnameDialog.h"
#include "widgets/IntegerEdit.h"
#include "ModalDriver.h"
#include "transports/SerialDevice.h"
#include "transports/TCPDevice.h"
#include "TempSettingsFolder.h"
#include "transports/UDPDevice.h"
#include "linkdialogs/UDPSettingsDialog.h"
#include "TestPeers.h"
#include "WindowControls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QTcpServer>

#include <gtest/gtest.h>

using TransportSettings = SettingsFolderTest;

TEST_F(TransportSettings, FreshInstallationPrefillsEveryDialogWithTheDefaults) {
    TSerialDevice serial(nullptr);
    TTCPDevice tcp(nullptr);
    TUDPDevice udp(nullptr);
    EXPECT_EQ(serial.StoredSettings().Baudrate, 9600);
    EXPECT_EQ(tcp.StoredSettings().Host, "");
    EXPECT_EQ(tcp.StoredSettings().Port, 1000);
    EXPECT_EQ(udp.StoredSettings().Address, "");
    EXPECT_EQ(udp.StoredSettings().TransmitPort, 1500);
    EXPECT_EQ(udp.StoredSettings().ListeningPort, 1501);
    // Each has its own file beside the program, none written by merely creating them.
    EXPECT_EQ(serial.Settings().FileName(), Settings.Path("uart.cfg"));
    EXPECT_EQ(tcp.Settings().FileName(), Settings.Path("tcp.cfg"));
    EXPECT_EQ(udp.Settings().FileName(), Settings.Path("udp.cfg"));
    EXPECT_TRUE(QDir(Settings.Folder()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(serial.InterfaceName, "Serial (RS232)");
    EXPECT_EQ(serial.ShortName, "uart");
    EXPECT_EQ(tcp.InterfaceName, "Ethernet/TCP");
    EXPECT_EQ(tcp.objectName(), "tcp");
    EXPECT_EQ(udp.InterfaceName, "Ethernet/UDP");
    EXPECT_EQ(udp.ShortName, "udp");
}

TEST_F(TransportSettings, StoredValuesPrefillTheDialogsWhateverTheCase) {
    Settings.WriteFile("uart.cfg", "[COMMON]\nBaudRate=57600\n[Common]\nPortname=ttyS3\n");
    Settings.WriteFile("tcp.cfg", "[Common]\nHOST=10.0.0.7\nPort=502\n");
    Settings.WriteFile("udp.cfg", "[common]\nIpAddr=10.0.0.8\nListening_Port=2001\nTRANSMIT_PORT=2000\n");
    TSerialDevice serial(nullptr);
    TTCPDevice tcp(nullptr);
    TUDPDevice udp(nullptr);
    EXPECT_EQ(serial.StoredSettings().Baudrate, 57600);
    EXPECT_EQ(serial.GetLastPortName(), "ttyS3");
    EXPECT_EQ(tcp.StoredSettings().Host, "10.0.0.7");
    EXPECT_EQ(tcp.StoredSettings().Port, 502);
    EXPECT_EQ(tcp.GetLastPortName(), "");
    EXPECT_EQ(udp.StoredSettings().Address, "10.0.0.8");
    EXPECT_EQ(udp.StoredSettings().ListeningPort, 2001);
    EXPECT_EQ(udp.StoredSettings().TransmitPort, 2000);
}

TEST_F(TransportSettings, CorruptFilesFallBackToDefaults) {
    QByteArray junk(3000, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char(i * 131);
    for (const char* name : {"uart.cfg", "tcp.cfg", "udp.cfg"})
        Settings.WriteFile(name, junk);
    Settings.WriteFile("tcp.cfg", "[common]\nport=not a number\nhost\n=x\n[common\n");
    TSerialDevice serial(nullptr);
    TTCPDevice tcp(nullptr);
    TUDPDevice udp(nullptr);
    EXPECT_EQ(serial.StoredSettings().Baudrate, 9600);
    EXPECT_EQ(tcp.StoredSettings().Port, 1000);
    EXPECT_EQ(tcp.StoredSettings().Host, "");
    EXPECT_EQ(udp.StoredSettings().ListeningPort, 1501);
}

TEST_F(TransportSettings, UnusualStoredSpeedsShowTheirFallback) {
    TSerialDevice serial(nullptr);
    Settings.WriteFile("uart.cfg", "[common]\nbaudrate=12345\n");
    {
        TModalDriver driver;
        driver.ThenAs<TBaudrateDlg>([](TBaudrateDlg* D) {
            EXPECT_EQ(Control<QComboBox>(*D, "cbBaudrate")->currentText(), "19200 baud");
            D->reject();
        });
        EXPECT_EQ(serial.Open("ttyS0"), E_CMD_ABORTED);
    }
    Settings.WriteFile("uart.cfg", "[common]\nbaudrate=300\n");
    {
        // 300 is not offered: nothing selected, OK disabled; forcing the dialog through
        // makes Open raise the dialog's message.
        TModalDriver driver;
        driver.ThenAs<TBaudrateDlg>([](TBaudrateDlg* D) {
            EXPECT_EQ(Control<QComboBox>(*D, "cbBaudrate")->currentIndex(), -1);
            EXPECT_FALSE(Control<QPushButton>(*D, "btnOk")->isEnabled());
            D->accept();
        });
        try {
            serial.Open("ttyS0");
            ADD_FAILURE() << "Open did not raise";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Baudrate index undefined");
        }
    }
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(Settings.ReadFile("uart.cfg"), "[common]\nbaudrate=300\n");
}

TEST_F(TransportSettings, WrittenAfterASuccessfulOpenOnlyAndEvenInAReadOnlyFolder) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    TTCPDevice tcp(nullptr);
    {
        TModalDriver driver;
        driver.ThenAs<THostNameDlg>([&](THostNameDlg* D) {
            D->SetHost("127.0.0.1");
            D->SetPort(server.serverPort());
            D->reject();
        });
        EXPECT_EQ(tcp.Open("TCP"), E_CMD_ABORTED);
        EXPECT_FALSE(Settings.Exists("tcp.cfg"));
    }
    {
        TModalDriver driver;
        driver.ThenAs<THostNameDlg>([&](THostNameDlg* D) {
            D->SetHost("127.0.0.1");
            D->SetPort(server.serverPort());
            D->accept();
        });
        EXPECT_EQ(tcp.Open("TCP"), E_SUCCESS);
    }
    TIniFile ini(Settings.Path("tcp.cfg"));
    EXPECT_EQ(ini.ReadString("common", "host", ""), "127.0.0.1");
    EXPECT_EQ(ini.ReadInteger("common", "port", 0), server.serverPort());
    tcp.Close();

    // A folder nobody can write to: the link opens all the same.
    Settings.WriteFile("plain", "x");
    TIniFile::SetSettingsFolder(Settings.Path("plain"));
    TUDPDevice udp(nullptr);
    TIniFile section(Settings.Path("zelctl.ini"));
    section.WriteString("link", "ipaddr", "127.0.0.1");
    section.WriteInteger("link", "listening_port", FreeUdpPort());
    section.WriteInteger("link", "transmit_port", FreeUdpPort());
    EXPECT_EQ(udp.OpenFromSettings(section, "link"), E_SUCCESS);
    EXPECT_TRUE(udp.IsOpen());
    udp.Close();
    TIniFile::SetSettingsFolder(Settings.Folder());
}
